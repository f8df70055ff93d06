#include "qmx/template.h"

namespace qmx {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

}  // namespace

std::string DecodeFormValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < value.size() && HexValue(value[i + 1]) >= 0 &&
               HexValue(value[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(value[i + 1]) * 16 + HexValue(value[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string FormField(std::string_view form, std::string_view name) {
  size_t start = 0;
  while (start <= form.size()) {
    size_t end = form.find('&', start);
    if (end == std::string_view::npos) end = form.size();
    const std::string_view pair = form.substr(start, end - start);
    const size_t equals = pair.find('=');
    const std::string_view key = pair.substr(0, equals);
    if (DecodeFormValue(key) == name) {
      return equals == std::string_view::npos ? std::string()
                                              : DecodeFormValue(pair.substr(equals + 1));
    }
    start = end + 1;
  }
  return {};
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string FillTemplate(std::string_view script, std::string_view address, std::string_view form) {
  std::string out;
  out.reserve(script.size());
  size_t at = 0;
  while (at < script.size()) {
    const size_t open = script.find("{{", at);
    if (open == std::string_view::npos) break;
    size_t end = open + 2;
    while (end < script.size() && IsNameChar(script[end])) ++end;
    const bool placeholder = end > open + 2 && script.substr(end, 2) == "}}";
    if (!placeholder) {
      out.append(script.substr(at, open + 2 - at));
      at = open + 2;
      continue;
    }
    out.append(script.substr(at, open - at));
    const std::string_view name = script.substr(open + 2, end - open - 2);
    out += EscapeHtml(name == "ip" ? std::string(address) : FormField(form, name));
    at = end + 2;
  }
  out.append(script.substr(at));
  return out;
}

bool SplitArgument(std::string_view argument, std::string& script, std::string& address,
                   std::string& form) {
  const size_t end = argument.find(".qmx|");
  if (end == std::string_view::npos) return false;
  script = argument.substr(0, end + 4);
  const std::string_view rest = argument.substr(end + 5);
  const size_t bar = rest.find('|');
  if (bar == std::string_view::npos) return false;
  address = rest.substr(0, bar);
  form = rest.substr(bar + 1);
  return true;
}

}  // namespace qmx
