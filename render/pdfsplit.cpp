#include "render/pdfsplit.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <set>

namespace PdfSplit {
namespace {

struct Object {
  QByteArray dict;  // up to the stream keyword: the only part that refers to other objects
  QByteArray rest;  // "stream ... endstream" or nothing
};

bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }

// Reads the unsigned number at *pos (after white space); -1 when there is none.
qint64 Number(const QByteArray& text, int* pos) {
  int p = *pos;
  while (p < text.size() && IsSpace(text[p])) ++p;
  const int start = p;
  qint64 value = 0;
  while (p < text.size() && text[p] >= '0' && text[p] <= '9' && p - start < 12) value = value * 10 + (text[p++] - '0');
  if (p == start) return -1;
  *pos = p;
  return value;
}

// "n g R" references; a reference after /Parent is marked, it leads up the page tree.
const QRegularExpression& RefPattern() {
  static const QRegularExpression re(QStringLiteral("(/Parent\\s+)?\\b(\\d+)\\s+(\\d+)\\s+R\\b"));
  return re;
}

// The first number n of "n g R" after `key` in a dictionary, -1 when absent.
int RefAfter(const QByteArray& dict, const char* key) {
  const int at = dict.indexOf(key);
  if (at < 0) return -1;
  int pos = at + int(qstrlen(key));
  const qint64 n = Number(dict, &pos);
  return n > 0 && n < (1 << 24) ? int(n) : -1;
}

QByteArray HexText(const QString& text) {
  QByteArray utf16("\xFE\xFF", 2);
  for (QChar c : text) {
    utf16 += char(c.unicode() >> 8);
    utf16 += char(c.unicode() & 0xFF);
  }
  return '<' + utf16.toHex().toUpper() + '>';
}

class Document {
 public:
  explicit Document(const QByteArray& pdf) : pdf_(pdf) {}

  // Reads the cross-reference table, the catalog and the pages; false when
  // the document is not as our writer makes it.
  bool Parse() {
    const int sx = pdf_.lastIndexOf("startxref");
    if (sx < 0) return false;
    int pos = sx + 9;
    const qint64 xref = Number(pdf_, &pos);
    if (xref <= 0 || xref >= pdf_.size() || !pdf_.mid(int(xref), 4).startsWith("xref")) return false;
    pos = int(xref) + 4;
    std::map<int, int> offsets;  // object -> offset
    for (;;) {
      while (pos < pdf_.size() && IsSpace(pdf_[pos])) ++pos;
      if (pdf_.mid(pos, 7) == "trailer") break;
      const qint64 first = Number(pdf_, &pos), count = Number(pdf_, &pos);
      if (first < 0 || count < 0 || count > 1 << 22) return false;
      for (qint64 i = 0; i < count; ++i) {
        const qint64 offset = Number(pdf_, &pos), generation = Number(pdf_, &pos);
        while (pos < pdf_.size() && IsSpace(pdf_[pos])) ++pos;
        if (offset < 0 || generation < 0 || pos >= pdf_.size()) return false;
        const char kind = pdf_[pos++];
        if (kind == 'n') {
          if (generation != 0 || offset <= 0 || offset >= xref) return false;
          offsets[int(first + i)] = int(offset);
        } else if (kind != 'f') {
          return false;
        }
      }
    }
    const int root = RefAfter(pdf_.mid(pos, int(sx) - pos), "/Root");
    // Each object ends where the next one (or the table) begins.
    std::vector<int> starts;
    for (const auto& [number, offset] : offsets) starts.push_back(offset);
    starts.push_back(int(xref));
    std::sort(starts.begin(), starts.end());
    for (const auto& [number, offset] : offsets) {
      const int end = *std::upper_bound(starts.begin(), starts.end(), offset);
      if (!Load(number, pdf_.mid(offset, end - offset))) return false;
    }
    if (!objects_.count(root)) return false;
    const int pagesTree = RefAfter(objects_[root].dict, "/Pages");
    if (!objects_.count(pagesTree)) return false;
    const QByteArray& tree = objects_[pagesTree].dict;
    const int kids = tree.indexOf("/Kids"), close = tree.indexOf(']', kids);
    if (kids < 0 || close < 0) return false;
    const QString list = QString::fromLatin1(tree.mid(kids, close - kids));
    for (auto it = RefPattern().globalMatch(list); it.hasNext();) {
      const int page = it.next().captured(2).toInt();
      // A single level: every kid is a page itself.
      if (!objects_.count(page) || objects_[page].dict.contains("/Type /Pages") ||
          !objects_[page].dict.contains("/Type /Page"))
        return false;
      pages_.push_back(page);
    }
    return !pages_.empty();
  }

  int PageCount() const { return int(pages_.size()); }

  // Page `index` as a PDF of its own.
  QByteArray PageFile(int index, const QByteArray& info) const {
    // Everything the page refers to, the page first; never up the tree.
    std::vector<int> order{pages_[size_t(index)]};
    std::map<int, int> renumbered{{order[0], 4}};
    for (size_t i = 0; i < order.size(); ++i) {
      const QString dict = QString::fromLatin1(objects_.at(order[i]).dict);
      for (auto it = RefPattern().globalMatch(dict); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedLength(1)) continue;
        const int number = m.captured(2).toInt();
        if (!objects_.count(number)) return QByteArray();
        if (renumbered.emplace(number, int(order.size()) + 4).second) order.push_back(number);
      }
    }
    QByteArray out("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    std::vector<int> offsets;
    auto begin = [&](int number) {
      offsets.push_back(out.size());
      out += QByteArray::number(number) + " 0 obj";
    };
    begin(1);
    out += info;
    begin(2);
    out += "\n<<\n/Type /Catalog\n/Pages 3 0 R\n>>\nendobj\n";
    begin(3);
    out += "\n<<\n/Type /Pages\n/Kids [4 0 R]\n/Count 1\n/ProcSet [/PDF /Text /ImageB /ImageC]\n>>\nendobj\n";
    for (int number : order) {
      const Object& object = objects_.at(number);
      begin(renumbered.at(number));
      const QString dict = QString::fromLatin1(object.dict);
      QString rewritten;
      int last = 0;
      for (auto it = RefPattern().globalMatch(dict); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        rewritten += QStringView(dict).mid(last, m.capturedStart() - last);
        rewritten += m.capturedLength(1) ? QStringLiteral("/Parent 3 0 R")
                                         : QStringLiteral("%1 0 R").arg(renumbered.at(m.captured(2).toInt()));
        last = m.capturedEnd();
      }
      rewritten += QStringView(dict).mid(last);
      out += rewritten.toLatin1();
      out += object.rest;
      out += "endobj\n";
    }
    const int xref = out.size();
    out += "xref\n0 " + QByteArray::number(qsizetype(offsets.size() + 1)) + "\n0000000000 65535 f \n";
    for (int offset : offsets) out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<<\n/Size " + QByteArray::number(qsizetype(offsets.size() + 1)) +
           "\n/Info 1 0 R\n/Root 2 0 R\n>>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
  }

 private:
  bool Load(int number, const QByteArray& slice) {
    int pos = 0;
    if (Number(slice, &pos) != number || Number(slice, &pos) != 0) return false;
    const int obj = slice.indexOf("obj", pos), end = slice.lastIndexOf("endobj");
    if (obj < 0 || end < obj + 3) return false;
    const QByteArray content = slice.mid(obj + 3, end - obj - 3);
    Object object;
    // The stream keyword follows the dictionary's ">>" and ends its line.
    int at = -1;
    for (int from = 0; (at = content.indexOf("stream", from)) >= 0; from = at + 1) {
      int before = at - 1;
      while (before >= 0 && IsSpace(content[before])) --before;
      const bool ends = at + 6 < content.size() && (content[at + 6] == '\n' || content[at + 6] == '\r');
      if (before >= 1 && content[before] == '>' && content[before - 1] == '>' && ends) break;
    }
    object.dict = at < 0 ? content : content.left(at);
    if (at >= 0) object.rest = content.mid(at);
    objects_[number] = object;
    return true;
  }

  const QByteArray& pdf_;
  std::map<int, Object> objects_;
  std::vector<int> pages_;
};

}  // namespace

std::vector<QByteArray> Split(const QByteArray& pdf, const QStringList& titles, const QString& creator) {
  Document document(pdf);
  if (!document.Parse() || document.PageCount() != titles.size()) return {};
  const QByteArray common = "/Creator " + HexText(creator) + "\n/Producer " +
                            HexText(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())) + "\n/CreationDate (D:" +
                            QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddhhmmss")).toLatin1() +
                            "Z)\n>>\nendobj\n";
  std::vector<QByteArray> files;
  files.reserve(size_t(titles.size()));
  for (int i = 0; i < titles.size(); ++i) {
    QByteArray file = document.PageFile(i, "\n<<\n/Title " + HexText(titles[i]) + '\n' + common);
    if (file.isEmpty()) return {};
    files.push_back(file);
  }
  return files;
}

}  // namespace PdfSplit
