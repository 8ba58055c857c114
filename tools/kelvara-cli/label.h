#pragma once
// kelvara-cli label: the test labels of data record files as one PDF. Kept
// apart from the other commands; main() reads the options with the others'
// rules and hands over the files or folders and the options given.
#include <QString>
#include <QStringList>
#include <map>

// The help of the command, as kelvara-cli label --help prints it.
extern const char* const kLabelUsage;
// `inputs`: data record files or folders; `options`: "--pdf", "--format",
// "--code", "--content", "--start" with their values, as given.
int LabelCommand(int argc, char** argv, const QStringList& inputs, const std::map<QString, QString>& options);
