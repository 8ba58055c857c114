#include "render/pdfsplit.h"

#include <QCryptographicHash>
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

QString Xml(const QString& text) { return text.toHtmlEscaped(); }

// The XMP metadata of an archival PDF (PDF/A-1b): the same as the information
// dictionary, in the schemas PDF/A-1 knows, uncompressed.
QByteArray Xmp(const Info& info, const QString& producer, const QDateTime& now) {
  const QString date = now.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")) + QLatin1Char('Z');
  QString x = QStringLiteral(
                  "<?xpacket begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                  "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                  " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                  "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
                  "   <dc:format>application/pdf</dc:format>\n"
                  "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">%1</rdf:li></rdf:Alt></dc:title>\n")
                  .arg(Xml(info.title));
  if (!info.author.isEmpty())
    x += QStringLiteral("   <dc:creator><rdf:Seq><rdf:li>%1</rdf:li></rdf:Seq></dc:creator>\n").arg(Xml(info.author));
  if (!info.subject.isEmpty())
    x += QStringLiteral("   <dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">%1</rdf:li></rdf:Alt></dc:description>\n")
             .arg(Xml(info.subject));
  x += QStringLiteral("  </rdf:Description>\n"
                      "  <rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n"
                      "   <xmp:CreatorTool>%1</xmp:CreatorTool>\n"
                      "   <xmp:CreateDate>%2</xmp:CreateDate>\n"
                      "   <xmp:ModifyDate>%2</xmp:ModifyDate>\n"
                      "  </rdf:Description>\n"
                      "  <rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n"
                      "   <pdf:Producer>%3</pdf:Producer>\n")
           .arg(Xml(info.creator), date, Xml(producer));
  if (!info.keywords.isEmpty()) x += QStringLiteral("   <pdf:Keywords>%1</pdf:Keywords>\n").arg(Xml(info.keywords));
  x += QStringLiteral("  </rdf:Description>\n"
                      "  <rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n"
                      "   <pdfaid:part>1</pdfaid:part>\n"
                      "   <pdfaid:conformance>B</pdfaid:conformance>\n"
                      "  </rdf:Description>\n"
                      " </rdf:RDF>\n"
                      "</x:xmpmeta>\n");
  // Room for a later edit in place, as XMP packets keep.
  x += QString(20, QLatin1Char(' ')) + QStringLiteral("\n<?xpacket end=\"w\"?>");
  return x.toUtf8();
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
    // The output intents (archival PDF): kept in every file made from it.
    const QByteArray& catalog = objects_[root].dict;
    const int intents = catalog.indexOf("/OutputIntents");
    if (intents >= 0) {
      const int open = catalog.indexOf('[', intents), shut = catalog.indexOf(']', intents);
      if (open < 0 || shut < open) return false;
      const QString list = QString::fromLatin1(catalog.mid(open, shut - open));
      for (auto it = RefPattern().globalMatch(list); it.hasNext();) intents_.push_back(it.next().captured(2).toInt());
    }
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

  // The pages `pages` (indexes) as a PDF of their own.
  QByteArray File(const std::vector<int>& pages, const Info& info, const QDateTime& now) const {
    // Objects 1 to 4 are new: the information, the catalog, the page tree
    // and the metadata. Then the pages with everything they refer to (never
    // up the tree), and the output intents of the document.
    std::vector<int> order;
    std::map<int, int> renumbered;
    auto take = [&](int number) {
      if (renumbered.emplace(number, int(order.size()) + 5).second) order.push_back(number);
    };
    for (int index : pages) take(pages_[size_t(index)]);
    const size_t pageObjects = order.size();
    for (int intent : intents_) {
      if (!objects_.count(intent)) return QByteArray();
      take(intent);
    }
    for (size_t i = 0; i < order.size(); ++i) {
      const QString dict = QString::fromLatin1(objects_.at(order[i]).dict);
      for (auto it = RefPattern().globalMatch(dict); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedLength(1)) continue;
        const int number = m.captured(2).toInt();
        if (!objects_.count(number)) return QByteArray();
        take(number);
      }
    }
    QByteArray out("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    std::vector<int> offsets;
    auto begin = [&](int number) {
      offsets.push_back(int(out.size()));
      out += QByteArray::number(number) + " 0 obj";
    };
    const QByteArray date = now.toString(QStringLiteral("yyyyMMddhhmmss")).toLatin1();
    const QString producer = QStringLiteral("Qt ") + QString::fromLatin1(qVersion());
    begin(1);
    out += "\n<<\n/Title " + HexText(info.title) + '\n';
    if (!info.author.isEmpty()) out += "/Author " + HexText(info.author) + '\n';
    if (!info.subject.isEmpty()) out += "/Subject " + HexText(info.subject) + '\n';
    if (!info.keywords.isEmpty()) out += "/Keywords " + HexText(info.keywords) + '\n';
    out += "/Creator " + HexText(info.creator) + "\n/Producer " + HexText(producer) + "\n/CreationDate (D:" + date +
           "Z)\n/ModDate (D:" + date + "Z)\n>>\nendobj\n";
    begin(2);
    out += "\n<<\n/Type /Catalog\n/Pages 3 0 R\n/Metadata 4 0 R\n";
    if (!intents_.empty()) {
      out += "/OutputIntents [";
      for (int intent : intents_) out += QByteArray::number(renumbered.at(intent)) + " 0 R ";
      out += "]\n";
    }
    out += ">>\nendobj\n";
    begin(3);
    out += "\n<<\n/Type /Pages\n/Kids [";
    for (size_t i = 0; i < pageObjects; ++i) out += QByteArray::number(int(i) + 5) + " 0 R ";
    out += "]\n/Count " + QByteArray::number(qulonglong(pageObjects)) + "\n/ProcSet [/PDF /Text /ImageB /ImageC]\n>>\nendobj\n";
    const QByteArray xmp = Xmp(info, producer, now);
    begin(4);
    out += "\n<<\n/Type /Metadata\n/Subtype /XML\n/Length " + QByteArray::number(xmp.size()) + "\n>>\nstream\n" + xmp +
           "\nendstream\nendobj\n";
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
    // The file's identifier, as archival PDF asks: a digest of its content.
    const QByteArray id = QCryptographicHash::hash(out, QCryptographicHash::Md5).toHex();
    const int xref = int(out.size());
    out += "xref\n0 " + QByteArray::number(qsizetype(offsets.size() + 1)) + "\n0000000000 65535 f \n";
    for (int offset : offsets) out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<<\n/Size " + QByteArray::number(qsizetype(offsets.size() + 1)) +
           "\n/Info 1 0 R\n/Root 2 0 R\n/ID [<" + id + "> <" + id + ">]\n>>\nstartxref\n" + QByteArray::number(xref) +
           "\n%%EOF\n";
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
  std::vector<int> intents_;
};

}  // namespace

std::vector<QByteArray> Split(const QByteArray& pdf, const std::vector<Info>& infos) {
  Document document(pdf);
  if (!document.Parse() || size_t(document.PageCount()) != infos.size()) return {};
  const QDateTime now = QDateTime::currentDateTimeUtc();
  std::vector<QByteArray> files;
  files.reserve(infos.size());
  for (size_t i = 0; i < infos.size(); ++i) {
    QByteArray file = document.File({int(i)}, infos[i], now);
    if (file.isEmpty()) return {};
    files.push_back(file);
  }
  return files;
}

QByteArray Rewrite(const QByteArray& pdf, const Info& info) {
  Document document(pdf);
  if (!document.Parse()) return QByteArray();
  std::vector<int> pages(size_t(document.PageCount()));
  for (size_t i = 0; i < pages.size(); ++i) pages[i] = int(i);
  return document.File(pages, info, QDateTime::currentDateTimeUtc());
}

}  // namespace PdfSplit
