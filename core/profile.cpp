#include "core/profile.h"

#include <cstring>

#include "core/cp1252.h"
#include "core/fileio.h"

namespace {



bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The first '=' in [begin, end) of data, or -1. The search never runs past the
// line: a file of many lines without '=' would otherwise be searched to its
// end once per line, for every key read.
int FindEquals(const QByteArray& data, int begin, int end) {
  if (begin >= end) return -1;
  const void* hit = std::memchr(data.constData() + begin, '=', static_cast<size_t>(end - begin));
  return hit ? static_cast<int>(static_cast<const char*>(hit) - data.constData()) : -1;
}

// Trims blanks and tabs at both ends of [begin, end) within data.
void Trim(const QByteArray& data, int* begin, int* end) {
  while (*begin < *end && IsBlank(data[*begin])) ++*begin;
  while (*end > *begin && IsBlank(data[*end - 1])) --*end;
}

// Whether data[begin, end) names `name`, without regard to case. One byte is
// one character and case folding keeps the length, so names of another length
// are told apart without decoding them (a long file has many such lines).
bool SameName(const QByteArray& data, int begin, int end, const QString& name) {
  if (end - begin != name.size()) return false;
  return Cp1252ToUnicode(data.mid(begin, end - begin)).compare(name, Qt::CaseInsensitive) == 0;
}

// True when a reader would change the value: outer blanks, or a matching
// pair of quotes around it.
bool NeedsQuotes(const QString& value) {
  if (value.isEmpty()) return false;
  auto blank = [](QChar c) { return c == ' ' || c == '\t'; };
  if (blank(value.front()) || blank(value.back())) return true;
  if (value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\''))
    return true;
  return false;
}

}  // namespace

int ProfileInt(const QString& text) {
  int p = 0;
  while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  quint32 value = 0;
  while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
    value = value * 10u + static_cast<quint32>(text[p].unicode() - '0');
    ++p;
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

TProfile::TProfile(const QString& section, const QString& path) : section_(section), path_(path) {
  switch (FileIO::ReadFile(path, kMaxFileSize, &data_, &error_)) {
    case FileIO::ReadResult::Ok: state_ = FileState::Ok; break;
    case FileIO::ReadResult::Missing: state_ = FileState::Missing; break;
    case FileIO::ReadResult::Failed: state_ = FileState::Unreadable; break;
  }
  Parse();
}

TProfile::TProfile(const QString& section, const QByteArray& bytes, InMemory) : section_(section), data_(bytes) {
  state_ = FileState::Ok;
  Parse();
}

TProfile::~TProfile() {
  if (!path_.isEmpty()) Flush();
}

void TProfile::Parse() {
  lines_.clear();
  const int n = data_.size();
  int start = 0;
  while (start < n) {
    int p = start;
    while (p < n && data_[p] != '\n' && data_[p] != '\r') ++p;
    Line line;
    line.start = start;
    line.length = p - start;
    if (p < n) {
      if (data_[p] == '\r' && p + 1 < n && data_[p + 1] == '\n')
        line.terminator = 2;
      else
        line.terminator = 1;
    }
    lines_.push_back(line);
    start = p + line.terminator;
  }
}

int TProfile::FindSection() const {
  for (int i = 0; i < static_cast<int>(lines_.size()); ++i) {
    int b = lines_[i].start, e = b + lines_[i].length;
    Trim(data_, &b, &e);
    if (b >= e || data_[b] != '[') continue;
    int nameBegin = b + 1;
    int nameEnd = nameBegin;
    while (nameEnd < e && data_[nameEnd] != ']') ++nameEnd;
    Trim(data_, &nameBegin, &nameEnd);
    if (SameName(data_, nameBegin, nameEnd, section_)) return i;
  }
  return -1;
}

int TProfile::FindKey(int header, const QString& key, int* end) const {
  int found = -1;
  int i = header + 1;
  for (; i < static_cast<int>(lines_.size()); ++i) {
    int b = lines_[i].start, e = b + lines_[i].length;
    Trim(data_, &b, &e);
    if (b < e && data_[b] == '[') break;  // the next section begins
    if (found >= 0) continue;
    int eq = FindEquals(data_, b, e);
    if (eq < 0) continue;
    int kb = b, ke = eq;
    Trim(data_, &kb, &ke);
    if (SameName(data_, kb, ke, key)) found = i;
  }
  if (end) *end = i;
  return found;
}

bool TProfile::ReadValue(const QString& key, QString* value) const {
  int header = FindSection();
  if (header < 0) return false;
  int line = FindKey(header, key, nullptr);
  if (line < 0) return false;
  int b = lines_[line].start, e = b + lines_[line].length;
  b = FindEquals(data_, b, e) + 1;
  Trim(data_, &b, &e);
  if (e - b >= 2 && data_[b] == data_[e - 1] && (data_[b] == '"' || data_[b] == '\'')) {
    ++b;
    --e;
  }
  *value = Cp1252ToUnicode(data_.mid(b, e - b));
  return true;
}

QString TProfile::GetString(const QString& key, int bufferSize, const QString& defaultValue) const {
  QString value;
  if (!ReadValue(key, &value)) value = defaultValue;
  const int max = bufferSize > 0 ? bufferSize - 1 : 0;
  if (value.size() > max) value.truncate(max);
  return value;
}

int TProfile::GetInt(const QString& key, int defaultValue) const {
  QString value;
  if (!ReadValue(key, &value) || value.isEmpty()) return defaultValue;
  return ProfileInt(value);
}

bool TProfile::WriteString(const QString& key, const QString& value) {
  if (state_ == FileState::Unreadable) return false;
  if (value.contains('\n') || value.contains('\r') || !IsCp1252Representable(value) ||
      !IsCp1252Representable(key))
    return false;
  QString written = NeedsQuotes(value) ? QLatin1Char('"') + value + QLatin1Char('"') : value;
  const QByteArray entry = UnicodeToCp1252(key) + '=' + UnicodeToCp1252(written);

  int header = FindSection();
  if (header >= 0) {
    int end = 0;
    int line = FindKey(header, key, &end);
    if (line >= 0) {
      data_.replace(lines_[line].start, lines_[line].length, entry);
    } else {
      // After the section's last non-blank line (blank lines that separate it
      // from the next section stay after the new key).
      int last = end - 1;
      while (last > header) {
        int b = lines_[last].start, e = b + lines_[last].length;
        Trim(data_, &b, &e);
        if (b < e) break;
        --last;
      }
      const Line& after = lines_[last];
      int insertAt = after.start + after.length + after.terminator;
      QByteArray insert;
      if (after.terminator == 0) insert += "\r\n";
      insert += entry + "\r\n";
      data_.insert(insertAt, insert);
    }
  } else {
    QByteArray append;
    if (!data_.isEmpty() && !data_.endsWith('\n') && !data_.endsWith('\r')) append += "\r\n";
    append += '[' + UnicodeToCp1252(section_) + "]\r\n" + entry + "\r\n";
    data_ += append;
  }
  Parse();
  dirty_ = true;
  return true;
}

bool TProfile::WriteInt(const QString& key, int value) { return WriteString(key, QString::number(value)); }

bool TProfile::Flush() {
  if (!dirty_) return true;
  if (state_ == FileState::Unreadable) return false;
  // A failed save is reported once and not tried again behind the caller's back.
  dirty_ = false;
  if (data_.size() > kMaxFileSize) {
    // Never write a file that reading would refuse.
    error_ = QStringLiteral("Die Datei würde größer als %1 MiB und könnte dann nicht mehr gelesen werden.")
                 .arg(kMaxFileSize / (1024 * 1024));
    return false;
  }
  if (!FileIO::SaveFileAtomically(path_, data_, &error_)) return false;
  state_ = FileState::Ok;
  error_.clear();
  return true;
}
