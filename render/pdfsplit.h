#pragma once
// One PDF per page of a PDF document as the PDF writer of our page drawing
// makes it (a classic cross-reference table, a single-level page tree, no
// object streams). Each file holds its page and everything the page refers to
// (so the embedded fonts are copied, never embedded again) and an information
// dictionary of its own. Drawing many reports as one document and splitting it
// costs a fraction of drawing each into a document of its own.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace PdfSplit {

// The pages of `pdf` as files, titles[i] the title of page i's file. Empty
// when the document is not of the form described above or the titles do not
// match the pages; the caller then draws each page on its own.
std::vector<QByteArray> Split(const QByteArray& pdf, const QStringList& titles, const QString& creator);

}  // namespace PdfSplit
