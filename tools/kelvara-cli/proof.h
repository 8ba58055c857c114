#pragma once
// kelvara-cli's proof: `verify` (a report's PDF, a data record file or a
// typed fingerprint against the archive) and `archive verify | backup |
// restore | setup-roles`. Kept apart from the other commands; main() reads
// the options with the others' rules and hands over the words and options.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>

// Exit status of a proof that does not hold (a test changed, the chain
// broken), and of one that finds nothing to hold against (no such test, a PDF
// without a fingerprint).
constexpr int kProofBroken = 5;
constexpr int kProofNotFound = 6;

extern const char* const kVerifyUsage;
int VerifyCommand(const QStringList& inputs);

// True for the archive's sub-commands handled here.
bool IsProofArchiveCommand(const QString& what);
int ProofArchiveCommand(const QStringList& words, const std::map<QString, QString>& options);

// The hash of the stored test of a data record file in the archive (for the
// fingerprint on its report); empty with *note (German) when there is none.
QString StoredHashOf(const QByteArray& recordFile, QString* note);
