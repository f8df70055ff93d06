#include "util/formdecoding.h"

#include "util/text.h"

namespace orvane {

namespace {

struct Replacement {
  const char* search;
  const char* replacement;
};

// The order matters: "+" becomes a blank before "%2B" becomes "+", and "%25" is decoded after the
// first few escapes but before the rest ("%2521" gives "%21", "%252F" gives "/").
constexpr Replacement kTable[] = {
    {"%0D%0A", "<br>"}, {"%20", " "}, {"%21", "!"}, {"%22", "&quot;"}, {"%A7", "\xA7"},
    {"%24", "$"},       {"%25", "%"}, {"%26", "&"}, {"%2F", "/"},      {"%28", "("},
    {"%29", ")"},       {"%3D", "="}, {"%3F", "?"}, {"%B2", "\xB2"},   {"%B3", "\xB3"},
    {"%7B", "{"},       {"%5B", "["}, {"%5D", "]"}, {"%7D", "}"},      {"%5C", "\\"},
    {"%DF", "\xDF"},    {"%23", "#"}, {"%27", "'"}, {"%3A", ":"},      {"%2C", ","},
    {"%3B", ";"},       {"%60", "`"}, {"%7E", "~"}, {"%2B", "+"},      {"%B4", "\xB4"},
};

}  // namespace

QByteArray DecodeFormValue(const QByteArray& value) {
  QByteArray text = value;
  text.replace('+', ' ');
  if (!text.contains('%')) return text;
  for (const Replacement& r : kTable) text = ReplaceText(text, r.search, r.replacement);
  return text;
}

}  // namespace orvane
