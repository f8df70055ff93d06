// qmx.exe, the sample script interpreter: fills a script's placeholders with the client's address
// and form fields and writes the page to "<address>.qms" in its own folder, where the server
// picks it up.
//
// Usage: qmx.exe "SCRIPT|ADDRESS|FORM"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "qmx/template.h"

namespace {

std::string OwnFolder(const char* argv0) {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  std::string self = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string(argv0);
  const size_t slash = self.rfind('/');
  return slash == std::string::npos ? std::string("./") : self.substr(0, slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  std::string script, address, form;
  if (argc != 2 || !qmx::SplitArgument(argv[1], script, address, form)) {
    std::cerr << "usage: qmx.exe \"SCRIPT.qmx|ADDRESS|FORM\"\n";
    return 2;
  }
  // The address names the output file: anything but an address could lead elsewhere.
  if (address.empty() ||
      address.find_first_not_of("0123456789abcdefABCDEF.:") != std::string::npos) {
    std::cerr << "qmx.exe: not a client address: " << address << "\n";
    return 2;
  }
  std::ifstream in(script, std::ios::binary);
  if (!in) {
    std::cerr << "qmx.exe: cannot read " << script << "\n";
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string page = qmx::FillTemplate(text, address, form);

  // Written beside and then renamed, so the output file is never seen half-written.
  const std::string output = OwnFolder(argv[0]) + address + ".qms";
  const std::string temp = output + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << page;
    if (!out.flush()) {
      std::remove(temp.c_str());
      std::cerr << "qmx.exe: cannot write " << output << "\n";
      return 1;
    }
  }
  if (std::rename(temp.c_str(), output.c_str()) != 0) {
    std::remove(temp.c_str());
    return 1;
  }
  return 0;
}
