#pragma once
// What the label tests read their output with, as a user's tools would: the
// code scanned by zbarimg from an image, PDF pages turned into images by
// pdftoppm, the text by pdftotext, the page sizes by pdfinfo.
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <vector>

namespace LabelTools {

// Whether a program is on the PATH.
bool Have(const QString& program);
// Why a test that needs `program` is skipped.
std::string Missing(const QString& program);

// Every code a decoder finds in the image, as the text it types: zbarimg for
// QR codes and Code 128, dmtxread for Data Matrix (it searches slowly, so it
// stops once it found `expected` codes).
QStringList ScanImage(const QString& png, bool dataMatrix = false, int expected = 1);
QStringList ScanImage(const QImage& image, bool dataMatrix = false, int expected = 1);
// A page of a PDF (from 1) as an image, as pdftoppm draws it.
QImage PdfPage(const QString& pdf, int page, int dpi = 300);
// The QR codes and Code 128 on a page of a PDF.
QStringList ScanPdfPage(const QString& pdf, int page, int dpi = 300);
// The same in one part of the page (millimetres from its top left corner), as
// a hand scanner reads one label of a sheet.
QStringList ScanPdfRegion(const QString& pdf, int page, const QRectF& mm, int dpi = 300);
// The text of a PDF (every page), as pdftotext gives it.
QString PdfText(const QString& pdf);
// The size of every page of a PDF in millimetres.
std::vector<QSizeF> PdfPageSizes(const QString& pdf);

// Pixels that are clearly red (a blocked label's band and letters).
int RedPixels(const QImage& image);

}  // namespace LabelTools
