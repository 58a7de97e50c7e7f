// The two versions in a tree file's header: a file is read when its read
// version is known, and saved into only when its write version is known as
// well; a newer writer's file is never rewritten by an older one.
#include <cstring>
#include <string>

#include "treefile_fixture.h"

namespace treefile_test {
namespace {

class TreeFileVersions : public TreeFileDisk {
 protected:
  // "f.kpf" as make_file writes it, with the header's two versions replaced.
  void make_versioned(uint32_t read, uint32_t write) {
    make_file();
    Bytes bytes = ReadBytes(path("f.kpf"));
    Bytes head;
    PutU32(head, read);
    PutU32(head, write);
    bytes.replace(8, 8, head);
    WriteBytes(path("f.kpf"), resealed(bytes));
  }
};

TEST_F(TreeFileVersions, TodaysFilesStoreReadVersionOneAndWriteVersionZero) {
  make_file();
  const Bytes bytes = ReadBytes(path("f.kpf"));
  ASSERT_GE(bytes.size(), 16u);
  EXPECT_EQ(bytes.substr(8, 8), std::string("\1\0\0\0\0\0\0\0", 8)) << "files written before the split stay the same";
  tk_TreeFile *file = open("f.kpf", "rb");
  ASSERT_NE(file, nullptr);
  uint32_t read = 0, write = 0;
  EXPECT_EQ(tk_TreeFileVersions(file, &read, &write), 1);
  EXPECT_EQ(read, 1u);
  EXPECT_EQ(write, 1u);
  tk_TreeFileAbandon(file);
  EXPECT_EQ(tk_TreeFileVersions(nullptr, &read, &write), 0);
}

// Every pair of versions around today's: which opens for reading, which for
// update, what the reports say, and that a refused update leaves the file
// as it was.
TEST_F(TreeFileVersions, ReadAndWriteVersionsDecideWhatOpens) {
  const uint32_t versions[] = {0, 1, 2, 3, 0x7fffffff, 0xffffffff};
  for (uint32_t read : versions) {
    for (uint32_t write : versions) {
      SCOPED_TRACE("read version " + std::to_string(read) + ", write version " + std::to_string(write));
      make_versioned(read, write);
      const Bytes before = ReadBytes(path("f.kpf"));
      const std::string reading = open_failure("f.kpf", "rb");
      const std::string updating = open_failure("f.kpf", "rb+");
      if (read != 1) {
        EXPECT_NE(reading.find("unsupported version " + std::to_string(read)), std::string::npos) << reading;
        EXPECT_EQ(reading.find("newer kestrum") != std::string::npos, read > 1) << reading;
        EXPECT_NE(updating, "");
        continue;
      }
      const uint32_t effective = write == 0 ? read : write;
      EXPECT_EQ(reading, "");
      if (effective <= 1) {
        EXPECT_EQ(updating, "");
        continue;
      }
      EXPECT_NE(updating.find("written by a newer kestrum (write version " + std::to_string(effective) + ")"),
                std::string::npos)
          << updating;
      EXPECT_NE(updating.find(path("f.kpf")), std::string::npos) << "the report names the file";
      tk_TreeFile *file = open("f.kpf", "rb");
      ASSERT_NE(file, nullptr);
      uint32_t got_read = 0, got_write = 0;
      EXPECT_EQ(tk_TreeFileVersions(file, &got_read, &got_write), 0);
      EXPECT_EQ(got_read, 1u);
      EXPECT_EQ(got_write, effective);
      EXPECT_EQ(read_label(file, ":", "A", entry_), "a") << "a newer writer's file still reads";
      EXPECT_TRUE(tk_TreeFileClose(file, nullptr));
      EXPECT_EQ(ReadBytes(path("f.kpf")), before);
    }
  }
}

}  // namespace
}  // namespace treefile_test
