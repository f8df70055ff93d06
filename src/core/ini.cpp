#include "core/ini.h"

#include <QList>

#include "util/files.h"
#include "util/text.h"

namespace orvane {

namespace {

constexpr qsizetype kMaxValueLength = 254;

bool IsBlankChar(char c) {
  return c == ' ' || c == '\t';
}

QByteArray TrimBlanks(QByteArrayView text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && IsBlankChar(text[begin])) ++begin;
  while (end > begin && IsBlankChar(text[end - 1])) --end;
  return text.sliced(begin, end - begin).toByteArray();
}

bool SameName(QByteArrayView a, QByteArrayView b) {
  return a.size() == b.size() && IndexOfFolded(a, b) == 0;
}

// One line of the file, without its line end.
struct Line {
  enum Kind { Other, Section, Key } kind = Other;
  QByteArray name;   // section or key name, trimmed
  QByteArray value;  // key value, trimmed and unquoted
};

Line Classify(const QByteArray& raw) {
  Line line;
  const QByteArray text = TrimBlanks(raw);
  if (text.startsWith('[')) {
    const qsizetype close = text.indexOf(']');
    if (close > 0) {
      line.kind = Line::Section;
      line.name = TrimBlanks(QByteArrayView(text).sliced(1, close - 1));
    }
    return line;
  }
  if (text.startsWith(';')) return line;
  const qsizetype equals = text.indexOf('=');
  if (equals <= 0) return line;
  line.kind = Line::Key;
  line.name = TrimBlanks(QByteArrayView(text).first(equals));
  line.value = TrimBlanks(QByteArrayView(text).sliced(equals + 1));
  if (line.value.size() >= 2 && line.value.startsWith('"') && line.value.endsWith('"')) {
    line.value = line.value.mid(1, line.value.size() - 2);
  }
  return line;
}

QList<QByteArray> SplitLines(const QByteArray& content) {
  QList<QByteArray> lines = content.split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  for (QByteArray& line : lines) {
    if (line.endsWith('\r')) line.chop(1);
  }
  return lines;
}

QByteArray WithoutLineBreaks(QByteArray text) {
  text.replace('\r', QByteArray());
  text.replace('\n', QByteArray());
  return text;
}

QByteArray StoredForm(const QByteArray& value) {
  const bool blankEdge =
      !value.isEmpty() && (IsBlankChar(value.front()) || IsBlankChar(value.back()));
  const bool quoted = value.size() >= 2 && value.startsWith('"') && value.endsWith('"');
  if (blankEdge || quoted) return '"' + value + '"';
  return value;
}

}  // namespace

QByteArray ReadINI(const QByteArray& section, const QByteArray& key, const QByteArray& file) {
  const std::optional<QByteArray> content = ReadWholeFile(file);
  if (!content) return {};
  bool inSection = false;
  bool seenSection = false;
  for (const QByteArray& raw : SplitLines(*content)) {
    const Line line = Classify(raw);
    if (line.kind == Line::Section) {
      if (seenSection) break;  // only the first section of that name counts
      inSection = SameName(line.name, section);
      seenSection = inSection;
    } else if (inSection && line.kind == Line::Key && SameName(line.name, key)) {
      return line.value.left(kMaxValueLength);
    }
  }
  return {};
}

bool WriteINI(const QByteArray& section, const QByteArray& key, const QByteArray& value,
              const QByteArray& file) {
  const QByteArray cleanSection = WithoutLineBreaks(section);
  const QByteArray cleanKey = WithoutLineBreaks(key);
  const QByteArray stored = StoredForm(WithoutLineBreaks(value));

  // What cannot be read (a file we may not read, a folder) is never replaced by a file that
  // holds only the one key.
  QByteArray content;
  if (PathExists(file)) {
    const std::optional<QByteArray> old = ReadWholeFile(file);
    if (!old) return false;
    content = *old;
  }
  const QByteArray eol = content.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
  QList<QByteArray> lines = SplitLines(content);

  qsizetype sectionAt = -1;
  qsizetype insertAt = -1;  // after the last non-blank line of the section
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const Line line = Classify(lines[i]);
    if (line.kind == Line::Section) {
      if (sectionAt >= 0) break;
      if (SameName(line.name, cleanSection)) {
        sectionAt = i;
        insertAt = i + 1;
      }
      continue;
    }
    if (sectionAt < 0) continue;
    if (line.kind == Line::Key && SameName(line.name, cleanKey)) {
      lines[i] = line.name + '=' + stored;
      insertAt = -1;
      sectionAt = -2;  // replaced in place
      break;
    }
    if (!TrimBlanks(lines[i]).isEmpty()) insertAt = i + 1;
  }
  if (sectionAt == -1) {
    lines.append('[' + cleanSection + ']');
    lines.append(cleanKey + '=' + stored);
  } else if (insertAt >= 0) {
    lines.insert(insertAt, cleanKey + '=' + stored);
  }
  // A settings file may hold the administration password: a new one is for its owner only.
  return WriteFileAtomically(file, lines.join(eol) + eol, 0600);
}

}  // namespace orvane
