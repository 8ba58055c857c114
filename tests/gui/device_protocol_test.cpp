// The device window over its tester session, driven by hand: what it shows of
// the answers, the port texts, the load-all and delete-all sequences and their
// faults. The line protocol itself is tested without a window (tests/unit).
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "controls/TColorStatic.h"
#include "platform/seams.h"
#include "tests/device_link_fixture.h"

#include <unistd.h>

TEST_F(DeviceLink, IdentificationSelectsTheDeviceType) {
  Feed("vQK236 V2.04.11 and more\r");
  EXPECT_EQ(w->DeviceType, 2);
  EXPECT_EQ(w->DeviceText, QString::fromUtf8("Zelto-Gerätetester  V2.04.11"));
  EXPECT_EQ(Text(1304), w->DeviceText);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(w->MeasurementAvailable[r], 1);
  EXPECT_TRUE(w->ValueStatic[0]->isVisibleTo(w.get()));  // RefreshSettings showed the rows

  Feed("vQK999 V1.00\r");  // not a supported model
  EXPECT_EQ(w->DeviceType, 0);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(w->MeasurementAvailable[r], 1);
  Feed("m 12.5 4\rd 0007 1 5 2710\r");
  EXPECT_EQ(w->Display->GetText(), "???");
  EXPECT_EQ(w->EntryIndex, 0);
  EXPECT_EQ(w->DeviceAddress, 0u);

  Feed("xQK248\r");  // 6 characters: no version text
  EXPECT_EQ(w->DeviceType, 2);
  EXPECT_EQ(w->DeviceText, QString::fromUtf8("Zelto-Gerätetester  "));
  Feed("aQK\r");
  EXPECT_EQ(w->DeviceType, 0);
}

TEST_F(DeviceLink, RangeAnswers) {
  Identify();
  Feed("m 12.5 4\r");
  EXPECT_EQ(w->Display->GetText(), "12.5");
  EXPECT_EQ(Text(1467), "Schutzleiterwiderstand, RPE   20Ohm");
  Feed("m 0.00 17\r");
  EXPECT_EQ(w->Display->GetText(), "0.00");
  EXPECT_EQ(Text(1467), "?");
  Feed("m --- 16\r");
  EXPECT_EQ(w->Display->GetText(), "---");
  EXPECT_EQ(Text(1467), "Isolationswiderstand, Calibrierung RISO 200MOhm");
  Feed("m " + QByteArray(80, 'w') + " 3\r");
  EXPECT_EQ(w->Display->GetText(), QString(51, 'w'));
  EXPECT_EQ(Text(1467), "Schutzleiterwiderstand, RPE    2Ohm");
  Feed("m nothing\r");
  EXPECT_EQ(w->Display->GetText(), "?");
  EXPECT_EQ(Text(1467), "?");
}

TEST_F(DeviceLink, RecordEntryAnswersFillTheCurrentRecord) {
  Identify();
  w->KlasseCombo->setCurrentIndex(2);
  Feed("d 0007 1 5 2710\r");
  const DeviceRecord& r = w->Records[0];
  EXPECT_EQ(w->NormCombo->currentIndex(), 1);
  EXPECT_EQ(r.NormIndex, 1);
  EXPECT_EQ(r.ClassIndex, 2);
  EXPECT_EQ(r.RangeCode[0], 5);
  EXPECT_EQ(r.RawValue[0], 10000);
  EXPECT_EQ(Text(1453), "002");
  EXPECT_EQ(Text(1455), "0008");
  EXPECT_EQ(w->EntryIndex, 1);

  // Entries 1 to 3, then a fifth overwrites entry 0 and takes standard and class again.
  Feed("d 0008 0 7 2EE0\rd 0009 0 9 7FFF\rd 000A 0 B 00FA\r");
  EXPECT_EQ(w->EntryIndex, 0);
  EXPECT_EQ(Text(203), "0002 0001 0005 2710 0007 2ee0 0009 7fff 000b 00fa");
  w->KlasseCombo->setCurrentIndex(0);
  Feed("d 000B 0 3 05DC\r");
  EXPECT_EQ(r.RangeCode[0], 3);
  EXPECT_EQ(r.RawValue[0], 1500);
  EXPECT_EQ(r.NormIndex, 0);
  EXPECT_EQ(r.ClassIndex, 0);
  EXPECT_EQ(w->EntryIndex, 1);

  // Three fields only: not stored, address kept.
  Feed("d 0100 0 3\r");
  EXPECT_EQ(w->EntryIndex, 1);
  EXPECT_EQ(w->DeviceAddress, 0x0Bu);
}

TEST_F(DeviceLink, PortTextsAndCounters) {
  // No device: the four failure texts in order, then the summary replaces them.
  w->OpenPort();
  EXPECT_EQ(Text(1104), QString::fromUtf8("- Ungültiges Handle- Port nicht bereit- Port-Status nicht "
                                          "konfigurierbar- Port-Timeouts nicht konfigurierbar"));
  w->ShowPortStatus();
  EXPECT_EQ(Text(1104), "Schnittstelle nicht bereit!");
  EXPECT_EQ(w->SendCommand("v\r"), 0);

  w->ComCombo->setCurrentIndex(9);
  w->EvSelChangeCom();
  EXPECT_EQ(w->PortName, "\\\\.\\Com10");
  w->ComCombo->setCurrentIndex(8);
  w->EvSelChangeCom();
  EXPECT_EQ(w->PortName, "Com9");
  w->ComCombo->setCurrentIndex(3);

  AttachPty();
  w->ShowPortStatus();
  EXPECT_EQ(Text(1104), "Com4:Baudrate: 38400/ Stopbits: 2/ Databits: 8/ Parity: 0");

  w->TxBytes = 5;
  w->RxBytes = 12;
  w->ShowByteCounts();
  w->ShowErrorCounts();
  EXPECT_EQ(Text(1102), "      5/     12");
  EXPECT_EQ(Text(1100), "     0 /      0");
  w->ButtonClicked(1201);  // "Löschen"
  EXPECT_EQ(w->LogList->count(), 0);
  EXPECT_EQ(w->TxBytes + w->RxBytes + w->TxErrors + w->RxErrors, 0);

  // A counter running for days wraps as a 32-bit counter does.
  w->RxBytes = 2147483647;
  w->ProcessChunk("ab");
  EXPECT_EQ(w->RxBytes, -2147483647);
  w->RxBytes = 0;

  // A long command is logged with its 190th character removed.
  QByteArray cmd = QByteArray(195, 'a') + "\r";
  EXPECT_EQ(w->SendCommand(cmd), 196);
  EXPECT_EQ(Log().last(), "TxD:" + QString(189, 'a'));
  EXPECT_EQ(Sent(), cmd);
}

TEST_F(DeviceLink, ConnectionTestGoesOfflineAndReopens) {
  // No device at all: probe, probe, then "Offline" with a reopen every second.
  for (int tick = 1; tick <= 4; ++tick) {
    w->EvTimer(TMessgeraet::LinkTimer);
    EXPECT_EQ(Text(1448), tick < 3 ? QString("Verbindung ?") : QString("Offline")) << tick;
    EXPECT_EQ(Text(1104), "Schnittstelle nicht bereit!");
  }
  // A line brings it back.
  Feed("\r");
  EXPECT_EQ(Text(1448), "Online");
  EXPECT_EQ(w->ProbeCount, 0);

  // With the test switched off nothing is probed.
  AttachPty();
  w->ConnectionTestBox->setChecked(false);
  w->EvTimer(TMessgeraet::LinkTimer);
  EXPECT_TRUE(Sent().isEmpty());
  w->ConnectionTestBox->setChecked(true);
  w->EvTimer(TMessgeraet::LinkTimer);
  EXPECT_EQ(Sent(), QByteArray("v\r"));
  EXPECT_EQ(Log().last(), "TxD:v");
}

TEST_F(DeviceLink, LoadTwoRecordsAtAddressesZeroToSeven) {
  AttachPty();
  Identify();
  int before = w->LogList->count();
  w->ButtonClicked(105);
  EXPECT_TRUE(ButtonsDisabled());
  EXPECT_EQ(w->LoadState, 1);
  w->StepLoadAll();
  EXPECT_EQ(Sent(), QByteArray("s\r"));
  const char* entries[8] = {"d 0000 0 3 05DC", "d 0001 0 7 2EE0", "d 0002 0 9 7FFF", "d 0003 0 B 00FA",
                            "d 0004 1 4 03ED", "d 0005 1 8 4E20", "d 0006 1 A 0100", "d 0007 1 C 0200"};
  Feed("s 0002\r");
  EXPECT_EQ(w->RecordCount, 2);
  EXPECT_EQ(w->LoadState, 2);  // the count alone does not advance
  QByteArrayList requests;
  for (int a = 0; a < 8; ++a) {
    Feed(QByteArray(entries[a]) + "\r");
    w->StepLoadAll();
    QByteArray sent = Sent();
    if (!sent.isEmpty()) requests << sent;
  }
  EXPECT_EQ(requests, (QByteArrayList{"l 0001\r", "l 0002\r", "l 0003\r", "l 0004\r", "l 0005\r", "l 0006\r",
                                      "l 0007\r"}));
  EXPECT_EQ(w->LoadState, 0);
  EXPECT_EQ(w->RecordIndex, 0);
  EXPECT_FALSE(ButtonsEnabled());  // enabled by the following tick
  w->StepLoadAll();
  EXPECT_TRUE(ButtonsEnabled());

  QStringList expected{"TxD:s", "RxD:s 0002"};
  for (int a = 0; a < 8; ++a) {
    expected << QString("RxD:") + entries[a];
    if (a < 7) expected << QString("TxD:l %1").arg(a + 1, 4, 10, QChar('0'));
  }
  EXPECT_EQ(LogSince(before), expected);

  // Record 0 on display; record 1 holds the rest.
  EXPECT_EQ(Text(1453), "001");
  EXPECT_EQ(w->ValueStatic[0]->text(), "  0.150");
  EXPECT_EQ(w->ValueStatic[1]->text(), "  12.00");
  EXPECT_EQ(w->ValueStatic[2]->text(), "Overflow");
  EXPECT_EQ(w->ValueStatic[3]->text(), "  0.025");
  EXPECT_EQ(w->Records[1].NormIndex, 1);
  EXPECT_EQ(w->Records[1].RawValue[3], 0x200);
}

TEST_F(DeviceLink, DeleteAllAsksThenReloads) {
  AttachPty();
  Identify();
  QList<MessageBoxRequest> asked;
  int answer = Win::IDNO;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) {
    asked << r;
    return answer;
  });
  int beeps = 0;
  Seams::SetBeepCounter(&beeps);

  w->ButtonClicked(102);
  ASSERT_EQ(asked.size(), 1);
  EXPECT_EQ(asked[0].text, "Wirklich ?");
  EXPECT_EQ(asked[0].caption, "Alle Datensaetze loeschen");
  EXPECT_EQ(asked[0].type, unsigned(Win::MB_YESNO | Win::MB_ICONQUESTION | Win::MB_DEFBUTTON2));
  EXPECT_TRUE(Sent().isEmpty());
  EXPECT_TRUE(ButtonsEnabled());
  EXPECT_EQ(beeps, 0);

  answer = Win::IDYES;
  w->ButtonClicked(102);
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(Sent(), QByteArray("d all\r"));
  EXPECT_TRUE(ButtonsDisabled());
  EXPECT_EQ(w->DeleteAllPending, 1);
  Feed("d all ok\r");
  EXPECT_EQ(w->DeleteAllPending, 0);
  EXPECT_EQ(w->LoadState, 1);
  w->StepLoadAll();
  EXPECT_EQ(Sent(), QByteArray("s\r"));
}

// Faults of the original that are mended: buttons that stayed disabled.
TEST_F(DeviceLink, LoadOrDeleteWithThePortClosedGivesTheButtonsBack) {
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDYES); });
  ASSERT_FALSE(w->PortReady);
  w->StepLoadAll();
  ASSERT_TRUE(ButtonsEnabled());
  w->ButtonClicked(105);
  EXPECT_TRUE(ButtonsDisabled());
  EXPECT_EQ(w->LoadState, 0);
  w->StepLoadAll();
  EXPECT_TRUE(ButtonsEnabled());

  w->ButtonClicked(102);
  EXPECT_EQ(w->DeleteAllPending, 0);
  w->StepLoadAll();
  EXPECT_TRUE(ButtonsEnabled());
}

TEST_F(DeviceLink, SilentTesterMidLoadIsGivenUp) {
  AttachPty();
  Identify();
  w->ButtonClicked(105);
  w->StepLoadAll();
  Feed("s 0003\rd 0000 0 3 05DC\r");
  for (int a = 1; a <= 3; ++a) {
    w->StepLoadAll();
    Feed(QByteArray("d 000") + char('0' + a) + " 0 3 05DC\r");
  }
  w->StepLoadAll();  // record 0 complete, asks for address 4
  EXPECT_EQ(w->LoadState, 2);
  EXPECT_EQ(Sent().right(7), QByteArray("l 0004\r"));

  // Silence is borne for the patience of a load, and then the wait ends.
  for (int tick = 1; tick < TMessgeraet::kLoadPatienceTicks; ++tick) {
    w->EvTimer(TMessgeraet::LockTimer);
    EXPECT_EQ(w->LoadState, 2);
  }
  EXPECT_EQ(Text(1471), "");
  w->EvTimer(TMessgeraet::LockTimer);
  EXPECT_EQ(w->LoadState, 0);
  EXPECT_EQ(Text(1471), QString::fromUtf8("Laden abgebrochen: 1 Datensatz vollständig gelesen."));
  w->StepLoadAll();
  EXPECT_TRUE(ButtonsEnabled());
  EXPECT_EQ(w->RecordCount, 1);  // what was read completely
  EXPECT_EQ(Text(1466), "001");
  EXPECT_EQ(w->ValueStatic[0]->text(), "  0.150");

  // Probes run again, so "Offline" can show.
  Sent();
  w->EvTimer(TMessgeraet::LinkTimer);
  EXPECT_EQ(Sent(), QByteArray("v\r"));
}

// A tester unplugged mid-answer leaves a piece of a line behind; poll ticks
// that bring nothing new must not count as progress of the load.
TEST_F(DeviceLink, APieceOfAnAnswerLeftByAnUnpluggedTesterDoesNotHoldTheLoad) {
  for (const QByteArray& piece : {QByteArray("s 000C\rd 00"), QByteArray("s 000C\rd 0000 0 3 05DC\rd 0001 0 A 00CE")}) {
    AttachPty();
    Identify();
    w->ButtonClicked(105);
    w->StepLoadAll();
    Feed(piece);
    for (int tick = 0; tick < TMessgeraet::kLoadPatienceTicks; ++tick) {
      for (int poll = 0; poll < 3; ++poll) {
        w->ProcessChunk(QByteArray());  // empty poll ticks
        w->StepLoadAll();
      }
      w->EvTimer(TMessgeraet::LockTimer);
    }
    ASSERT_EQ(w->LoadState, 0) << piece.constData();
    w->StepLoadAll();
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_EQ(w->RecordCount, 0);
    EXPECT_EQ(w->LineLength, 0);  // the piece does not run into the next line
    EXPECT_EQ(Text(1471), QString::fromUtf8("Laden abgebrochen: 0 Datensätze vollständig gelesen."));
    TestUtil::Grab(w.get(), QStringLiteral("device-load-given-up"));
    // The connection test runs again: the silent tester shows "Offline" at the third probe.
    Sent();
    for (int tick = 0; tick < 3; ++tick) w->EvTimer(TMessgeraet::LinkTimer);
    EXPECT_EQ(Text(1448), "Offline");
    EXPECT_TRUE(Sent().startsWith("v\r"));
    // A tester that answers again is found and can be loaded.
    Feed("vQK236 V2.04.11\r");
    EXPECT_EQ(Text(1448), "Online");
    w->ButtonClicked(105);
    w->StepLoadAll();
    Feed("s 0001\rd 0000 0 3 05DC\r");
    for (int a = 1; a <= 3; ++a) {
      w->StepLoadAll();
      Feed(QByteArray("d 000") + char('0' + a) + " 0 3 05DC\r");
    }
    w->StepLoadAll();
    EXPECT_EQ(w->LoadState, 0);
    EXPECT_EQ(w->RecordCount, 1);
    EXPECT_EQ(Text(1471), "");
    ::close(master_);
    ::close(slave_);
    master_ = slave_ = -1;
    QFile::remove(dir_.path() + "/com4");
  }
}

// A tester that was frozen during a load and wakes after it was given up
// sends the answers it still owed; they must not change the records kept.
TEST_F(DeviceLink, LateAnswersOfAGivenUpLoadChangeNoRecord) {
  AttachPty();
  Identify();
  w->ButtonClicked(105);
  w->StepLoadAll();
  Feed("s 0002\rd 0000 0 3 05DC\r");
  for (int a = 1; a <= 3; ++a) {
    w->StepLoadAll();
    Feed(QByteArray("d 000") + char('0' + a) + " 0 3 05DC\r");
  }
  w->StepLoadAll();  // asks for address 4
  for (int tick = 0; tick < TMessgeraet::kLoadPatienceTicks; ++tick) w->EvTimer(TMessgeraet::LockTimer);
  ASSERT_EQ(w->LoadState, 0);
  ASSERT_EQ(w->RecordCount, 1);
  const DeviceRecord kept = w->Records[0];

  const int logged = Log().size();
  Feed("d 0004 1 9 FFFF\rs 0002\r");  // the owed entry, and a count
  EXPECT_EQ(Log().size(), logged + 2);  // logged all the same
  EXPECT_EQ(w->Records[0].RangeCode[0], kept.RangeCode[0]);
  EXPECT_EQ(w->Records[0].RawValue[0], kept.RawValue[0]);
  EXPECT_EQ(w->Records[0].NormIndex, kept.NormIndex);
  EXPECT_EQ(w->EntryIndex, 0);
  EXPECT_EQ(w->RecordCount, 1);
  EXPECT_EQ(w->ValueStatic[0]->text(), "  0.150");

  // The answer to a "Laden" click is stored, as always.
  w->ButtonClicked(1457);
  Feed("d 0004 1 9 FFFF\r");
  EXPECT_EQ(w->Records[0].RangeCode[0], 9);
  EXPECT_EQ(w->EntryIndex, 1);
}

TEST_F(DeviceLink, TheLogKeepsTheNewestLines) {
  for (int i = 0; i < TMessgeraet::kLogLimit + 10; ++i) w->LogLine(QString::number(i));
  EXPECT_EQ(w->LogList->count(), TMessgeraet::kLogLimit);
  EXPECT_EQ(Log().last(), QString::number(TMessgeraet::kLogLimit + 9));
}

TEST_F(DeviceLink, PollTickWithoutPortReArmsAndFailsLoudly) {
  w->EvTimer(TMessgeraet::PollTimer);
  EXPECT_TRUE(w->Timers->IsActive(TMessgeraet::PollTimer));
  EXPECT_EQ(w->Timers->Period(TMessgeraet::PollTimer), WinTimers::kShortestPeriodMs);
  QStringList captions;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) {
    captions << r.caption;
    return int(Win::IDOK);
  });
  Seams::SetTimerResponder(TestUtil::NoTimers);
  w->EvTimer(TMessgeraet::PollTimer);
  w->ButtonClicked(105);
  Seams::SetTimerResponder(TestUtil::ManualTimers);
  EXPECT_EQ(captions, (QStringList{QString::fromUtf8("Keine Timer für CAN-Socket verfügbar!"),
                                   QString::fromUtf8("Keine Timer für COM-Socket verfügbar!")}));
}
