#pragma once
// A real print server for the tests: the one scripts/test started
// ($KELVARA_TEST_CUPS, "127.0.0.1:PORT"), else one this process starts with
// scripts/cups-test-server on the loopback. The tests make their queues with
// lpadmin; each queue writes what it prints into a file (no real printer is
// ever reached). While a test uses it, the program's print system (libcups,
// as Qt uses it) talks to this server; afterwards to none again.
#include <QString>
#include <QStringList>

class CupsTestServer {
 public:
  // The server for this test run, started on first use; nullptr with *why
  // when none can be had (CUPS not installed, the server does not start).
  static CupsTestServer* Get(QString* why);
  QString Address() const { return address_; }

  // Makes a queue that writes into `output`: with the model `model`
  // (lpadmin -m, a driver of the system such as the P-touch or Dymo driver)
  // or the PPD file `ppd`. False with *why.
  bool AddQueue(const QString& name, const QString& output, const QString& model, const QString& ppd, QString* why);
  void RemoveQueue(const QString& name);
  // Waits until every job of the queue is done (at most `ms`); false when one
  // is still pending or was stopped or aborted (*why says which).
  bool WaitForJobs(const QString& name, int ms, QString* why);
  // The drivers of the system whose names match `pattern` (lpinfo -m).
  QStringList Models(const QString& pattern);

  ~CupsTestServer();

  // Points the program's print system at this server until the object ends.
  class Use {
   public:
    explicit Use(const CupsTestServer& server);
    ~Use();
  };

 private:
  QString address_;
  QString dir_;  // when this process started the server
  CupsTestServer() = default;
};
