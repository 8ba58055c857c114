#pragma once
// One PDF per page of a PDF document as the PDF writer of our page drawing
// makes it (a classic cross-reference table, a single-level page tree, no
// object streams). Each file holds its page and everything the page refers to
// (so the embedded fonts are copied, never embedded again) and an information
// dictionary of its own. Drawing many reports as one document and splitting it
// costs a fraction of drawing each into a document of its own.
//
// The files are archival PDF (PDF/A-1b) when the document is: each keeps the
// document's output intent (its colour profile) and fonts, and gets XMP
// metadata of its own that says the same as its information dictionary
// (title, author, subject, keywords, the program, the dates) and that it is
// PDF/A-1b. Rewrite gives the whole document the same.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace PdfSplit {

// What a file says of itself.
struct Info {
  QString title, author, subject, keywords;
  QString creator = QStringLiteral("Kelvara");
};

// The pages of `pdf` as files, infos[i] of page i's file. Empty when the
// document is not of the form described above or the infos do not match the
// pages; the caller then draws each page on its own.
std::vector<QByteArray> Split(const QByteArray& pdf, const std::vector<Info>& infos);
// The whole document with this information; empty when it is not of that form.
QByteArray Rewrite(const QByteArray& pdf, const Info& info);

}  // namespace PdfSplit
