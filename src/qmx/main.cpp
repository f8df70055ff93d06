// qmx.exe, the sample script interpreter: fills a script's placeholders with the client's address
// and form fields and writes the page to "<address>.qms" in its working folder (the server starts
// it in the program folder), where the server picks it up. It may be installed where it cannot
// write.
//
// Usage: qmx.exe "SCRIPT|ADDRESS|FORM"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "qmx/template.h"

namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
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

  // Written beside and then renamed, so the output file is never seen half-written. The file is
  // made anew and never opened through a link someone left at its name.
  const std::string output = address + ".qms";
  const std::string temp = output + ".part";
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  bool written = fd >= 0 && WriteAll(fd, page);
  if (fd >= 0 && ::close(fd) != 0) written = false;
  if (!written) {
    std::remove(temp.c_str());
    std::cerr << "qmx.exe: cannot write " << output << "\n";
    return 1;
  }
  if (std::rename(temp.c_str(), output.c_str()) != 0) {
    std::remove(temp.c_str());
    return 1;
  }
  return 0;
}
