#include "baselines.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace bench {
namespace {

constexpr size_t kChunk = 64 * 1024;

[[noreturn]] void fail(const std::string &what) { throw std::runtime_error(what + ": " + std::to_string(errno)); }

void check(int rc, sqlite3 *db, const char *what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

}  // namespace

std::string read_whole_file(const std::string &path) {
  std::string out;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail("open " + path);
  char buf[kChunk];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return out;
}

void raw_write(const std::string &path, const std::string &bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail("open " + path);
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, std::min(kChunk, bytes.size() - done));
    if (n < 0) fail("write");
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) fail("fsync");
  ::close(fd);
}

size_t raw_read(const std::string &path) {
  // The bytes land in a buffer the size of the file, as a loader would need.
  std::string bytes = read_whole_file(path);
  return bytes.size();
}

int stat_loop(const std::vector<std::string> &paths) {
  int found = 0;
  struct stat st;
  for (const std::string &p : paths) found += ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  return found;
}

void sqlite_write(const std::string &path, const std::vector<Record> &records) {
  ::unlink(path.c_str());
  ::unlink((path + "-journal").c_str());
  sqlite3 *db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite open");
  check(sqlite3_exec(db,
                     "CREATE TABLE nodes(id INTEGER PRIMARY KEY, parent INTEGER, kind INTEGER, name TEXT,"
                     " text1 TEXT, text2 TEXT, number REAL); BEGIN;",
                     nullptr, nullptr, nullptr),
        db, "create");
  sqlite3_stmt *st = nullptr;
  check(sqlite3_prepare_v2(db, "INSERT INTO nodes VALUES(?,?,?,?,?,?,?)", -1, &st, nullptr), db, "prepare");
  for (const Record &r : records) {
    sqlite3_bind_int64(st, 1, r.id);
    sqlite3_bind_int64(st, 2, r.parent);
    sqlite3_bind_int(st, 3, r.kind);
    sqlite3_bind_text(st, 4, r.name.data(), static_cast<int>(r.name.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 5, r.text1.data(), static_cast<int>(r.text1.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 6, r.text2.data(), static_cast<int>(r.text2.size()), SQLITE_STATIC);
    sqlite3_bind_double(st, 7, r.number);
    check(sqlite3_step(st), db, "insert");
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  check(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
}

size_t sqlite_read(const std::string &path, std::vector<Record> *out) {
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    throw std::runtime_error("sqlite open");
  sqlite3_stmt *st = nullptr;
  check(sqlite3_prepare_v2(db, "SELECT id, parent, kind, name, text1, text2, number FROM nodes ORDER BY id", -1,
                           &st, nullptr),
        db, "prepare");
  out->clear();
  auto text = [&](int col) {
    const unsigned char *s = sqlite3_column_text(st, col);
    return std::string(s ? reinterpret_cast<const char *>(s) : "");
  };
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW)
    out->push_back(Record{sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 1), sqlite3_column_int(st, 2),
                          text(3), text(4), text(5), sqlite3_column_double(st, 6)});
  check(rc, db, "select");
  sqlite3_finalize(st);
  sqlite3_close(db);
  return out->size();
}

}  // namespace bench
