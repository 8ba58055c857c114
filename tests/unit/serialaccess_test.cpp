// Whether the user may open the machine's serial devices, from the facts of
// the machine: the note names the group and the command only when needed.
#include <gtest/gtest.h>

#include "core/serialaccess.h"

TEST(SerialAccessTest, TheNoteNamesTheGroupAndTheCommandOnlyWhenTheUserLacksTheRight) {
  SerialAccess::Facts f;
  f.User = 1000;
  f.Groups = {1000, 24};
  f.UserName = QStringLiteral("monteur");
  f.DeviceFound = true;
  f.DeviceOwner = 0;
  f.DeviceGroup = 20;
  f.DeviceMode = 0660;
  f.GroupName = QStringLiteral("dialout");
  const QString note = SerialAccess::ProblemFor(f);
  EXPECT_TRUE(note.contains(QString::fromUtf8("Gruppe „dialout“"))) << note.toStdString();
  EXPECT_TRUE(note.contains("sudo adduser monteur dialout"));

  SerialAccess::Facts member = f;
  member.Groups << 20;
  EXPECT_TRUE(SerialAccess::ProblemFor(member).isEmpty());
  SerialAccess::Facts owner = f;
  owner.DeviceOwner = 1000;  // a pseudo-terminal of the user's own (the simulator)
  owner.DeviceMode = 0620;
  EXPECT_TRUE(SerialAccess::ProblemFor(owner).isEmpty());
  SerialAccess::Facts root = f;
  root.User = 0;
  EXPECT_TRUE(SerialAccess::ProblemFor(root).isEmpty());
  SerialAccess::Facts none = f;
  none.DeviceFound = false;
  EXPECT_TRUE(SerialAccess::ProblemFor(none).isEmpty());
}
