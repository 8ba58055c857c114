#pragma once
// kelvara-cli label: the test labels of data record files as one PDF. Kept
// apart from the other commands; main() hands it the arguments after "label".
#include <QStringList>

int LabelCommand(int argc, char** argv, const QStringList& arguments);
