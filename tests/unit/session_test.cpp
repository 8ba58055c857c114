// The tester session without any window: a scripted tester on an in-memory
// link, ticks given by hand, and a view that records what it is told.
#include <gtest/gtest.h>

#include <QStringList>
#include <map>

#include "core/session.h"
#include "core/cformat.h"
#include "tests/support/memorylink.h"

namespace {

// Records what the session reports.
struct RecordingView : SessionView {
  QStringList log;
  std::map<int, QString> texts;
  int shownRecords = 0, opens = 0, reopens = 0, typeChanges = 0, ranges = 0;
  bool buttons = true;
  bool testOn = true;
  std::map<unsigned, int> timers;  // running timers and their periods
  void LogLine(const QString& t) override { log << t; }
  void ShowText(int id, const QString& t) override { texts[id] = t; }
  void ShowRange(bool, const QString&, unsigned) override { ++ranges; }
  void DeviceTypeChanged() override { ++typeChanges; }
  void ShowRecord() override { ++shownRecords; }
  void EnableRecordButtons(bool e) override { buttons = e; }
  bool ConnectionTestOn() const override { return testOn; }
  void OpenLink() override { ++opens; }
  void ReopenLink() override { ++reopens; }
  bool SetTimer(unsigned id, int ms) override { return timers[id] = ms, true; }
  void KillTimer(unsigned id) override { timers.erase(id); }
};

// A tester with records in memory that answers "v", "s" and "l" as the real one.
struct ScriptedTester {
  std::vector<QByteArray> entries;  // "d ..." lines by address
  int count = -1;                   // the record count it reports (else what it holds)
  bool answering = true;
  void Attach(MemoryLink& link) {
    link.OnWrite = [this, &link](const QByteArray& cmd) {
      if (!answering) return;
      if (cmd == "v\r") link.Send("vQK248 V2.04.11\r");
      if (cmd == "s\r") link.Send(CFormat("s %04X\r", count >= 0 ? count : int(entries.size() / 4)).toLatin1() + entries.at(0));
      if (cmd.startsWith("l ")) {
        const int address = cmd.mid(2, 4).toInt(nullptr, 16);
        if (address < int(entries.size())) link.Send(entries[address]);
      }
    };
  }
};

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    session.Link = &link;
    session.PortReady = true;
    for (int a = 0; a < 8; ++a)
      tester.entries.push_back(CFormat("d %04X %X %X %04X\r", a, a < 4 ? 0 : 1, 3 + a % 4, 1500 + a).toLatin1());
    tester.Attach(link);
  }
  // Poll ticks until the session is idle again (or the limit).
  void PollUntilIdle(int limit = 200) {
    for (int i = 0; i < limit; ++i) {
      session.PollTick();
      if (session.LoadState == 0 && session.DeleteAllPending == 0 && view.buttons) return;
    }
  }
  // Bytes from the tester in chunks of at most five, as the poll tick takes them.
  void Feed(const QByteArray& bytes) {
    for (int i = 0; i < bytes.size(); i += 5) session.ProcessChunk(bytes.mid(i, 5));
  }
  void Identify() { Feed("vQK236 V2.04.11\r"); }
  // A load started by hand, with the tester's answers fed by the test.
  void StartLoadByHand() {
    tester.answering = false;
    Identify();
    session.StartLoadAll();
    session.StepLoadAll();
    ASSERT_EQ(link.Sent().right(2), QByteArray("s\r"));
  }
  RecordingView view;
  MemoryLink link;
  ScriptedTester tester;
  TesterSession session{&view};
};

TEST_F(Session, IdentifiesAndLoadsAllRecordsThroughTheLink) {
  session.LinkTick();  // opens the link and probes
  EXPECT_EQ(view.opens, 1);
  EXPECT_EQ(link.Sent(), "v\r");
  for (int i = 0; i < 5; ++i) session.PollTick();
  EXPECT_EQ(session.DeviceType, 2);
  EXPECT_EQ(view.typeChanges, 1);
  EXPECT_EQ(view.texts[1448], "Online");
  EXPECT_EQ(session.DeviceText, QString::fromUtf8("Zelto-Gerätetester  V2.04.11"));

  session.StartLoadAll();
  EXPECT_FALSE(view.buttons);
  EXPECT_EQ(view.timers.count(TesterSession::LockTimer), 1u);
  PollUntilIdle();
  EXPECT_EQ(session.RecordCount, 2);
  EXPECT_EQ(session.DeviceAddress, 7u);
  EXPECT_EQ(view.shownRecords, 1);
  EXPECT_TRUE(view.buttons);
  EXPECT_EQ(session.Records[1].NormIndex, 1);
  EXPECT_EQ(session.Records[0].RangeCode[2], 5);
  EXPECT_EQ(session.Records[1].RawValue[3], 1507);
  // One request outstanding at a time: s, then l 0001 .. l 0007.
  QStringList sent;
  for (const QString& line : view.log)
    if (line.startsWith("TxD:")) sent << line.mid(4);
  EXPECT_EQ(sent, (QStringList{"v", "s", "l 0001", "l 0002", "l 0003", "l 0004", "l 0005", "l 0006", "l 0007"}));
  EXPECT_EQ(view.timers[TesterSession::PollTimer], 0);  // re-armed after each tick
}

TEST_F(Session, ASilentTesterIsGivenUpAndItsLateAnswersChangeNothing) {
  session.DeviceType = 2;
  tester.count = 2;
  tester.entries.resize(6);  // the tester falls silent after two entries of record 1
  session.StartLoadAll();
  PollUntilIdle(500);
  ASSERT_EQ(session.LoadState, 6);  // waiting for entry 2 of record 1
  for (int t = 0; t < TesterSession::kLoadPatienceTicks; ++t) {
    session.PollTick();
    session.LockTick();
  }
  EXPECT_EQ(session.LoadState, 0);
  EXPECT_EQ(session.RecordCount, 1);
  EXPECT_EQ(view.texts[1471], QString::fromUtf8("Laden abgebrochen: 1 Datensatz vollständig gelesen."));
  session.StepLoadAll();
  EXPECT_TRUE(view.buttons);
  const DeviceRecord kept = session.Records[0];
  link.Send("d 0006 0 9 FFFF\rs 0009\r");
  session.PollTick();
  session.PollTick();
  session.PollTick();
  session.PollTick();
  EXPECT_EQ(session.Records[0].RawValue[0], kept.RawValue[0]);
  EXPECT_EQ(session.RecordCount, 1);
}

TEST_F(Session, ProbesDeclareOfflineAtTheThirdSilentTickAndReopen) {
  tester.answering = false;
  session.ReopenPending = false;
  session.LinkTick();
  session.LinkTick();
  EXPECT_EQ(view.reopens, 0);
  session.LinkTick();
  EXPECT_EQ(view.texts[1448], "Offline");
  EXPECT_EQ(view.reopens, 1);
  EXPECT_EQ(link.Sent(), "v\rv\rv\r");
  // Probing pauses while a sequence runs, and when the test is off.
  session.LoadState = 2;
  session.LinkTick();
  session.LoadState = 0;
  view.testOn = false;
  session.LinkTick();
  EXPECT_EQ(link.Sent(), "");
}

TEST_F(Session, FramingOfLinesFromChunks) {
  tester.answering = false;
  const int before = view.log.size();
  session.ProbeCount = 2;
  Feed("\r");  // a lone CR is an empty line
  EXPECT_EQ(view.log.mid(before), QStringList{"RxD:"});
  EXPECT_EQ(session.ProbeCount, 0);
  EXPECT_EQ(view.texts[1448], "Online");

  // CR LF: the LF is dropped; so are control bytes and bytes from 0x80 up.
  Feed("s 000C\r\nx\x01y\x1b\x9cz\xff\r");
  EXPECT_EQ(session.RecordCount, 12);
  EXPECT_EQ(view.texts[1466], "012");
  EXPECT_EQ(view.log.last(), "RxD:xyz");

  // A NUL is dropped; what follows it in the chunk is counted and framed.
  int rx = session.RxBytes;
  session.ProcessChunk(QByteArray("ab\0c", 4));
  EXPECT_EQ(session.RxBytes, rx + 3);
  Feed("\r");
  EXPECT_EQ(view.log.last(), "RxD:abc");
  rx = session.RxBytes;
  session.ProcessChunk(QByteArray("s 00\0", 5));
  session.ProcessChunk(QByteArray("0C\r\n\0", 5));
  EXPECT_EQ(session.RecordCount, 12);
  EXPECT_EQ(session.RxBytes - rx, 8);

  // 600 characters: the line keeps 511, the log shows 190.
  QByteArray longLine(600, 'x');
  longLine[0] = 's';
  session.ProcessChunk(longLine);
  EXPECT_EQ(session.LineLength, 511);
  Feed("\r");
  EXPECT_EQ(view.log.last(), "RxD:s" + QString(189, 'x'));
  EXPECT_EQ(session.LineLength, 0);
}

// A NUL after an answer may share a read with the start of the next answer.
TEST_F(Session, ANulByteIsDroppedWithoutLosingWhatFollowsIt) {
  tester.answering = false;
  Identify();
  const int before = session.RxBytes;
  Feed(QByteArray("s 0002\r\0s 0003\r\0", 16));  // reads "s 000", "2\r\0s ", "0003\r", "\0"
  EXPECT_EQ(session.RecordCount, 3);
  EXPECT_EQ(session.RxBytes - before, 14);  // what reached framing
  session.ProcessChunk(QByteArray("\0\0d 0", 5));
  session.ProcessChunk(QByteArray("000 0", 5));
  EXPECT_EQ(session.LineLength, 8);
}

TEST_F(Session, OverlongLineIsCutAt511BeforeItIsTested) {
  tester.answering = false;
  Identify();
  // An entry answer whose raw value lies beyond character 511 is cut there.
  Feed("d 0001 0 3 " + QByteArray(498, '0') + "1234\r");  // "1234" from position 509 on
  EXPECT_EQ(session.Records[0].RangeCode[0], 3);
  EXPECT_EQ(session.Records[0].RawValue[0], 0x12);
}

TEST_F(Session, ShortLinesAreOnlyLogged) {
  tester.answering = false;
  Identify();
  const int count = session.RecordCount;
  Feed("d all\rs 1F4\rm 1 4\r");
  EXPECT_EQ(session.RecordCount, count);
  EXPECT_EQ(session.EntryIndex, 0);
  EXPECT_EQ(view.ranges, 0);
  EXPECT_EQ(view.log.mid(view.log.size() - 3), (QStringList{"RxD:d all", "RxD:s 1F4", "RxD:m 1 4"}));
}

TEST_F(Session, CountAnswersStayWithinZeroTo500) {
  struct Case {
    const char* line;
    int count;
  } cases[] = {{"s 01F4", 500}, {"s 03E8", 500}, {"s 000C", 12}, {"s 0000", 0},
               {"s 80000000", 500}, {"s FFFFFFFF", 500}, {"s 123456789", 500}, {"s -0001", 500}};
  for (const Case& c : cases) {
    session.RecordCount = 7;
    Feed(QByteArray(c.line) + "\r");
    EXPECT_EQ(session.RecordCount, c.count) << c.line;
  }
  session.RecordCount = 7;
  Feed("s zzzz\r");  // does not match: nothing changes
  EXPECT_EQ(session.RecordCount, 7);
}

TEST_F(Session, AnswersKeepTheLoadAlive) {
  StartLoadByHand();
  Feed("s 0002\rd 0000 0 3 05DC\r");
  session.LockTick();
  session.StepLoadAll();
  Feed("d 0001 0 3 05DC\r");  // an answer between the lock ticks
  session.LockTick();
  EXPECT_NE(session.LoadState, 0);
}

TEST_F(Session, OnlyTheAwaitedAnswersKeepTheLoadAlive) {
  StartLoadByHand();
  Feed("s 0002\rd 0000 0 3 05DC\r");
  session.StepLoadAll();  // asks for address 1
  // A record-entry answer that trickles in over two lock periods is awaited.
  Feed("d 0001 0");
  session.LockTick();
  Feed(" 3 05");
  session.LockTick();
  ASSERT_NE(session.LoadState, 0);
  Feed("DC\r");
  EXPECT_EQ(session.EntryIndex, 2);
  session.StepLoadAll();  // asks for address 2
  // Live values from a tester that measures but does not answer are not.
  for (int tick = 0; tick < TesterSession::kLoadPatienceTicks; ++tick) {
    Feed("m 1.234 3\rgarbage\r");
    session.LockTick();
  }
  EXPECT_EQ(session.LoadState, 0);
  session.StepLoadAll();
  EXPECT_TRUE(view.buttons);
}

// Found by fuzzing: an answer already under way when the load starts moves it
// past its first step; the buttons must still come back when it ends.
TEST_F(Session, AnAnswerUnderWayWhenALoadStartsDoesNotLeaveTheButtonsDisabled) {
  session.DeviceType = 2;
  session.StepLoadAll();
  ASSERT_TRUE(view.buttons);
  session.StartLoadAll();
  session.ProcessChunk("d 0000 0 3 05DC\rd 0001 0 3 05DC\r");  // before the first step
  PollUntilIdle(500);
  session.StepLoadAll();
  EXPECT_EQ(session.LoadState, 0);
  EXPECT_TRUE(view.buttons);
}

TEST_F(Session, ACancelledLoadKeepsTheRecordsReadCompletely) {
  session.DeviceType = 2;
  session.StartLoadAll();
  for (int i = 0; i < 500 && session.RecordIndex < 1; ++i) session.PollTick();
  ASSERT_EQ(session.RecordIndex, 1);
  session.CancelSequence();
  EXPECT_EQ(session.LoadState, 0);
  EXPECT_EQ(session.RecordCount, 1);
  session.StepLoadAll();
  EXPECT_TRUE(view.buttons);
}

}  // namespace
