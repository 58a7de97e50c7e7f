// Gives the importer's verdict on many JSON documents in one run, for the
// schema test, which would otherwise start the tool once per document.
//
// Reads from standard input records of a decimal byte count, a line feed
// and that many bytes; writes one line per record: "accepted", or
// "refused " and the first line of the refusal. Documents are read exactly
// as `kestrum import` reads them (import_json); no
// project file is written.
#include <iostream>
#include <string>

#include "json.h"

int main() {
  std::ios::sync_with_stdio(false);
  std::string count;
  while (std::getline(std::cin, count)) {
    std::string document(std::stoul(count), '\0');
    std::cin.read(document.data(), static_cast<std::streamsize>(document.size()));
    try {
      kcli::import_json(document, "input", "/nonexistent");
      std::cout << "accepted\n";
    } catch (const std::exception &error) {
      std::string message = error.what();
      if (const auto *failure = dynamic_cast<const kcli::Failure *>(&error)) message += " | " + failure->chain();
      for (char &c : message)
        if (c == '\n') c = ' ';
      std::cout << "refused " << message << "\n";
    }
  }
  return 0;
}
