#pragma once
// The test archive: customers, their appliances and every test ever stored,
// with the date each appliance is due again. One schema and one code path for
// an embedded SQLite file (the default) and a PostgreSQL server a team shares;
// the few differences of their SQL are kept in one place (the dialect).
//
// A test is never changed once stored; a correction is a new test that refers
// to the one it corrects. Each test keeps its data record file byte for byte,
// so the original can always be written again.
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "core/clock.h"
#include "core/tables.h"
#include "core/comparison.h"
#include "core/reportrecord.h"

class QSqlDatabase;
class QSqlError;

namespace ArchiveData {

struct Appliance {
  qint64 Id = 0;
  QString Customer;
  QString InventarNr;
  QString Bezeichnung;  // named as the record list names them (ApplianceData)
  QString HerstellerTyp;
  QString Standort;
  int ProtectionClass = 0;
  int IntervalMonths = 12;
  QDate LastTest;
  QDate NextDue;
  // Master data kept beside the tests.
  qint64 CustomerId = 0;
  QString Seriennummer;
  int Standard = 0;        // the standard code of its latest test (0: none yet)
  QDate RetiredOn;         // "ausgemustert" on this day; invalid: "in Betrieb"
  QString RetiredReason;
  bool Retired() const { return RetiredOn.isValid(); }
  // The appliance's cord and kind, as its latest test that named them said
  // (NaN: not known); the limits of the current standards follow them.
  double CordLengthM = std::numeric_limits<double>::quiet_NaN();
  double CrossSectionMm2 = std::numeric_limits<double>::quiet_NaN();
  int Kind = 0;  // Profiles::Kind
};

// A customer ("Auftraggeber") with the data the report's client fields take,
// and the sites where its appliances stand.
struct Customer {
  qint64 Id = 0;
  QString Name;
  QString Anschrift, PlzStadt, Telefon, Fax, Kontaktperson, EMail;
  QStringList Standorte;
};

// One change of master data as the change log keeps it.
struct Change {
  QDateTime At;
  qint64 CustomerId = 0, ApplianceId = 0;
  QString Object;  // whose data: "Auftraggeber Elektro Müller", "Gerät INV-0001"
  QString Field;   // "Bezeichnung", "Name", "Zustand", ...
  QString Before, After;
  QString Reason;  // "von Hand", "Prüfung vom 12.03.2026", ...
};

struct TestRow {
  QString Measured, Limit;
  bool Active = false, Ok = false;
};

struct Test {
  qint64 Id = 0;
  qint64 ApplianceId = 0;
  QDate Date;
  QString Tester, Instrument, Remarks;
  int Standard = 0, Klasse = 0;
  bool Sichtpruefung = false, Funktionspruefung = false, Passed = false;
  std::array<TestRow, kRowCount> Rows;
  qint64 Corrects = 0;  // the test this one corrects, or 0
  QByteArray Record;    // the data record file as written
  qint64 ChainSeq = 0;  // its place in the proof chain (1 for the first test stored)
  QString ChainHash;    // its hash in the chain; the first 16 digits are its fingerprint
};

}  // namespace ArchiveData

class Archive {
 public:
  enum class Kind { SQLite, PostgreSQL };

  // Where the archive is: $KELVARA_ARCHIVE (a SQLite path or a postgresql://
  // URL), else what the user chose ("Archiv wählen..."), else the user's data
  // folder (~/.local/share/Kelvara/archiv.sqlite).
  static QString DefaultLocation();

  Archive();
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Opens (and on first use creates, or brings to the current schema) the
  // archive at `location`. A SQLite file is checked first (a quick integrity
  // check). False with Error() and LastFault() when it cannot be used.
  // ExistingOnly never makes an archive: for those who only read, and for
  // opening again while the program runs (a file that went is not replaced).
  enum class OpenMode { CreateIfMissing, ExistingOnly };
  bool Open(const QString& location, OpenMode mode = OpenMode::CreateIfMissing);
  // Whether a location can name an archive at all (a PostgreSQL URL that
  // parses, with a port from 1 to 65535); false with a German reason.
  static bool CheckLocation(const QString& location, QString* why);
  // A server's address as libpq and its tools (pg_dump, psql) take it, with
  // the database Kelvara uses when none is named, without the password
  // (given back apart, for PGPASSWORD).
  static QString ServerUri(const QString& location, QString* password);
  bool IsOpen() const;
  void Close();
  Kind Type() const { return kind_; }
  // Why the last call failed, in German, with what the user can do (the
  // database's own text at most in parentheses at the end).
  QString Error() const { return error_; }
  // Why the last call failed: a server that is away or a file another program
  // holds (the test waits in the queue and is tried again) is told apart from
  // a test the archive refuses for good (it is kept and shown with its reason).
  // Config: the archive's settings are wrong (login refused, no such database,
  // a malformed address) - trying again does not help until they are changed.
  enum class Fault { None, Unreachable, Locked, Full, ReadOnly, Damaged, Gone, Refused, Config };
  Fault LastFault() const { return fault_; }
  // True when the last call (a store or a query) failed; a query's empty
  // result is then no answer, never "nothing there".
  bool Failed() const { return fault_ != Fault::None; }
  // True for faults that pass by themselves, so a later try may succeed.
  static bool Passing(Fault f) { return f == Fault::Unreachable || f == Fault::Locked || f == Fault::Full || f == Fault::Gone; }
  // The longest a call may wait: for a SQLite file another program holds, and
  // for a PostgreSQL server (its statement_timeout, and a watchdog that gives
  // up on a server that went silent, 3 s later); 10 s unless set.
  void SetWaitLimit(int ms);
  int SchemaVersion();
  static constexpr int kSchemaVersion = 4;
  // The step that brought customers' and appliances' master data, the change
  // log and the indexes of the search.
  static constexpr int kMasterDataSchema = 4;

  enum class Stored { New, Duplicate, Failed };
  // Stores a test from a data record file's bytes: the appliance is found or
  // made from the report (customer "Auftraggeber", Inventar-Nr. "Identnummer",
  // ...), and its next test date set from the test date and its interval.
  // One transaction. A file stored before (the same bytes) is a duplicate.
  Stored StoreRecord(const QByteArray& recordFile, qint64 corrects = 0, qint64* testId = nullptr);
  // The same for a report held in memory: it is written as its data record file first.
  Stored StoreReport(const ReportRecord& report, qint64 corrects = 0, qint64* testId = nullptr);

  struct ImportResult {
    int stored = 0, duplicates = 0;
    QStringList unreadable;  // "file: why"
  };
  // Reads every data record file (*.ini) of a folder into the archive.
  ImportResult ImportFolder(const QString& folder);

  // Each query below gives an empty result with Failed() and Error() when it
  // fails: a damaged file, a server that went away, a file that was moved.

  // Appliances in service whose next test is due on or before today + days
  // (overdue ones too), the earliest first. A page of at most `limit` rows
  // begins after the appliance `after` of the page before (nullptr: the first).
  std::vector<ArchiveData::Appliance> DueList(int days, const QDate& today = Clock::Today());
  std::vector<ArchiveData::Appliance> DueList(int days, const QDate& today, int limit,
                                              const ArchiveData::Appliance* after);
  // Every test of an appliance (and of the appliances merged into it), the oldest first.
  std::vector<ArchiveData::Test> History(qint64 applianceId);
  // Appliances whose Inventar-Nr. begins with the text, or whose description,
  // maker, serial number, location or customer contains it (three characters
  // or more; each served by an index). An empty text lists every appliance.
  std::vector<ArchiveData::Appliance> Search(const QString& text, int limit = 500);
  std::vector<ArchiveData::Appliance> Appliances(const QString& customer = QString());
  QStringList Customers();
  int TestCount();

  // The appliance the archive keys as (customer, Inventar-Nr.) and the latest
  // of its tests before `before` (a test a later one corrects does not
  // count): for the comparison with earlier tests and the appliance's cord.
  // Not found is no failure; Failed() tells a query that failed.
  struct Earlier {
    bool applianceFound = false;
    ArchiveData::Appliance appliance;
    Comparison::Previous previous;
  };
  Earlier EarlierTest(const QString& customer, const QString& inventarNr, const QDate& before);
  // The key an appliance of a report has in the archive: its customer and its
  // Inventar-Nr. (else "SN " and its serial number), as ApplianceOf makes them;
  // false when the report names neither.
  static bool KeyOf(const ReportRecord& report, QString* customer, QString* inventarNr);

  // ---- master data (core/archive_master.cpp). Every change is kept in the
  // change log with its date and reason; tests are never changed.

  // The customers (those merged into another left out), by name.
  std::vector<ArchiveData::Customer> CustomerList();
  bool ReadCustomer(qint64 id, ArchiveData::Customer* customer);
  // The customer a name stands for, also a former name (renamed, merged); 0
  // when there is none (Failed() tells a failed query apart).
  qint64 CustomerId(const QString& name);
  // Makes a new customer (Id 0) or changes one; a new name keeps the old one
  // as another name of the customer, so tests stored under it still find it.
  // The customer's id, or 0 with the fault set.
  qint64 SaveCustomer(const ArchiveData::Customer& customer, const QString& reason = QStringLiteral("von Hand"));
  // `from` becomes part of `into`: its appliances move there (one with the
  // same Inventar-Nr. there is merged with it), its sites and names too.
  bool MergeCustomers(qint64 from, qint64 into);
  // The customer's sites: those kept for it and those its appliances name.
  QStringList Sites(qint64 customerId);

  bool ReadAppliance(qint64 id, ArchiveData::Appliance* appliance);
  // Makes a new appliance of appliance.CustomerId (Id 0) or changes one:
  // descriptions, class, interval, state ("ausgemustert" with its day and
  // reason: it leaves the due list and keeps its history). A new Inventar-Nr.
  // keeps the old one as another number of it. The id, or 0 with the fault set.
  qint64 SaveAppliance(const ArchiveData::Appliance& appliance, const QString& reason = QStringLiteral("von Hand"));
  bool Retire(qint64 applianceId, const QDate& on, const QString& why, const QString& reason = QStringLiteral("von Hand"));
  // `from` becomes part of `into`: its tests are shown in the history of
  // `into`, its number finds `into`, and it leaves every list.
  bool MergeAppliances(qint64 from, qint64 into);
  // The change log of a customer (with its appliances) or of one appliance,
  // the latest first.
  std::vector<ArchiveData::Change> Changes(qint64 customerId, qint64 applianceId, int limit = 2000);

  // A visit: the customer's appliances in service (at the sites named, all
  // when none is), in the order of their last tests (the order the tester
  // walked), those never tested last; only those due by `dueBy` when it is a
  // valid day.
  std::vector<ArchiveData::Appliance> VisitPlan(qint64 customerId, const QStringList& sites, const QDate& dueBy);
  // The customer's appliances whose Inventar-Nr. begins with `prefix` (any
  // case), retired ones too, for completing a number as it is typed.
  std::vector<ArchiveData::Appliance> Complete(qint64 customerId, const QString& prefix, int limit = 20);
  // The customer's appliances these Inventar-Nr. name (any case, following a
  // renamed or merged number), retired ones included; one per number found.
  // Keyed by NumberKey of the number.
  std::map<QString, ArchiveData::Appliance> Lookup(qint64 customerId, const QStringList& numbers);
  // An Inventar-Nr. as the archive compares numbers: blanks simplified, any case.
  static QString NumberKey(const QString& number);
  // Whether names are searched through an index (FTS5 on SQLite, pg_trgm on
  // PostgreSQL); without one the search reads every appliance.
  bool NameIndex() const { return nameIndex_; }

  // The appliance a report belongs to, as the archive keys it.
  static ArchiveData::Appliance ApplianceOf(const ReportRecord& report, const QByteArray& recordFile);
  // The test date of a report ("Prüfung am"), else `fallback`.
  static QDate TestDate(const ReportRecord& report, const QDate& fallback);

  // ---- the proof chain, backups and the team's roles (archiveproof.cpp)

  // The schema step that brought the proof chain (core/chain.h): an archive
  // of an older schema has its tests chained in the order they were stored.
  static constexpr int kChainSchema = 3;

  // Walks the chain from the first test to the last: each test must still
  // give its hash from its values and the hash before it, none may be
  // missing, and the chain's end must be its last test. `progress` gets
  // (tests done, tests in all) and cancels with false.
  struct ChainCheck {
    bool holds = false;
    bool canceled = false;
    qint64 tests = 0;        // tests in the archive
    qint64 broken = 0;       // places where the chain does not hold
    qint64 firstTestId = 0;  // the first test that does not match (0 when the break is not a test)
    QString first;           // German: the first place that does not hold, naming its test
    QString head;            // the hash of the chain's last test
  };
  ChainCheck CheckChain(const std::function<bool(qint64, qint64)>& progress = {});

  // A stored test found for a fingerprint or a data record file.
  struct Found {
    ArchiveData::Test test;        // with its rows and data record file
    QString customer, inventarNr;  // the appliance as the archive keys it
    bool matches = false;          // its values still give its hash
    QString why;                   // German, when it does not
  };
  // The tests whose hash begins with these digits (lower case, 16 to 64).
  std::vector<Found> FindByFingerprint(const QString& digits);
  // The test that holds exactly this data record file (none or one).
  std::vector<Found> FindByRecord(const QByteArray& recordFile);
  // The tests of the report's appliance on its test date (a file changed
  // after it was stored finds what the archive holds instead).
  std::vector<Found> FindSameTest(const ReportRecord& report);
  // The hash of the stored test of a data record file; empty when there is none.
  QString HashOfRecord(const QByteArray& recordFile);
  // The hash of the test the last StoreRecord stored or found stored before.
  QString LastHash() const { return lastHash_; }

  // A consistent copy of the archive while others may write to it: a SQLite
  // file (VACUUM INTO), or for a server a plain SQL dump made by pg_dump in
  // the snapshot the copy's summary was read in. Written under a temporary
  // name and renamed into place when complete. *summary: what the copy holds.
  bool Backup(const QString& file, QString* summary);
  // Brings a copy made by Backup into an archive that does not exist yet (a
  // new SQLite file) or is empty (a PostgreSQL database without an archive),
  // then checks its chain.
  struct Restored {
    bool ok = false;
    Fault fault = Fault::None;
    QString error;    // German, with what to do
    QString summary;  // what the restored archive holds
    bool chainHolds = false;
  };
  static Restored Restore(const QString& file, const QString& location);
  // On a PostgreSQL archive: a role that may add tests but never change or
  // delete one (`writer`), a role that may only read (`reader`), and a
  // trigger that refuses every change or deletion of a stored test, also
  // the owner's. False with Error() when the connected user may not.
  bool SetUpRoles(const QString& writer, const QString& reader, QStringList* done);

 private:
  struct Dialect;
  class Watchdog;
  class Bounded;
  // The watchdog over one call to a server (as Bounded does), for the calls
  // defined apart from archive.cpp.
  void Watch();
  void Unwatch();
  bool Migrate(OpenMode mode);
  // The chain step of the migration: the tests stored so far chained in the
  // order they were stored.
  bool ChainExisting();
  // Locks the chain's end until the transaction ends (writers append one
  // after the other) and reads it.
  bool LockChainHead(qint64* seq, QString* hash);
  struct Link;
  bool LoadLinks(const QString& where, const QVariantList& values, std::vector<Link>* links);
  bool CheckLink(const Link& link, Found* found);
  QString NameOf(const Link& link) const;
  // The walk of CheckChain, in the transaction the caller holds.
  ChainCheck WalkChain(const std::function<bool(qint64, qint64)>& progress);
  bool CheckIntegrity();
  bool Exec(const QString& sql);
  // Sets fault_ and error_ from a failed statement; always false.
  bool Fail(const QSqlError& error);
  bool Fail(Fault fault, const QString& text);
  // The SQLite file at the opened path is still the one opened.
  bool StillThere();
  void Begin();  // a new call: no fault yet
  // The start of every call on the archive: no fault yet, the archive open
  // and its file still the one opened; false with the fault set otherwise.
  bool Ready();
  std::vector<ArchiveData::Appliance> QueryAppliances(const QString& where, const QVariantList& values);
  // Master data (core/archive_master.cpp).
  QStringList MasterDataStep() const;
  bool FillMasterData();
  void EnsureNameIndex();
  // Within a store's transaction: the customer and appliance a test is for
  // (following renames and merges; made when new), their master data brought
  // up to date from the test, and the change log written.
  bool ResolveForStore(const ReportRecord& report, const ArchiveData::Appliance& fromTest, const QDate& date,
                       qint64* customerId, qint64* applianceId, QDate* lastTest, bool* made);
  bool UpdateFromTest(qint64 applianceId, const ArchiveData::Appliance& fromTest, const QDate& date, qint64 testId,
                      bool latest, const QDate& lastTest, bool made);
  bool MergeAppliancesInTransaction(qint64 from, qint64 into);
  bool Log(qint64 customerId, qint64 applianceId, const QString& object, const QString& field, const QString& before,
           const QString& after, const QString& reason);
  bool RefreshSearchText(const QString& where, const QVariant& value);
  bool nameIndex_ = false;

  QString connection_;
  QString location_;  // as shown to the user (never with a password)
  Kind kind_ = Kind::SQLite;
  bool broken_ = false;  // a PostgreSQL connection given up on
  qulonglong device_ = 0, inode_ = 0;  // of the SQLite file when it was opened
  int socket_ = -1;  // the PostgreSQL connection's socket, for the watchdog
  int waitLimitMs_ = 10000;
  std::unique_ptr<Watchdog> watchdog_;
  QString error_;
  Fault fault_ = Fault::None;
  QString lastHash_;
  bool storing_ = false;  // within StoreRecord: a missing right is one to write
  QString lastNative_;    // the database's code of the last failed statement
  std::unique_ptr<Dialect> dialect_;
};
