#pragma once
// Access to one section of an INI (profile) file, with the rules Windows
// programs use for such files:
//  - section and key names are matched without regard to case, with blanks and
//    tabs around names and values trimmed; a value enclosed in a matching pair
//    of single or double quotes is read without them;
//  - the first matching section and the first matching key in it win; lines
//    without "=" are no keys; lines before the first section belong to none;
//  - writing a key changes only that key's line, or adds the key after the last
//    line of its section, or adds "[SECTION]" and the key at the end of the file;
//    every other byte of the file stays as it was; new lines end in CR LF;
//  - the file holds cp1252 bytes.
// The file is read once when the profile is constructed. Writes change the copy
// in memory; Flush() (or the destructor) saves it by writing a temporary file
// beside the target, syncing it and renaming it over the target, so a failed
// save (a full disk) never leaves an empty or half-written file behind, and a
// file larger than a read accepts is never written.
#include <QByteArray>
#include <QString>
#include <vector>

class TProfile {
 public:
  // The largest file read (and written): no data record comes near it, and a
  // file chosen by mistake (a picture) would only stall the program.
  static constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

  enum class FileState {
    Ok,          // the file was read
    Missing,     // there is no file yet: reads give the defaults, a save creates it
    Unreadable,  // the file exists but cannot be read (permission, a folder, a pipe or
                 // device, over 4 MiB)
  };

  TProfile(const QString& section, const QString& path);
  // A profile over bytes held in memory (nothing is read or saved).
  struct InMemory {};
  TProfile(const QString& section, const QByteArray& bytes, InMemory);
  // Saves pending writes; a caller that needs to know whether the save worked
  // calls Flush() itself first.
  ~TProfile();
  TProfile(const TProfile&) = delete;
  TProfile& operator=(const TProfile&) = delete;

  // The key's value, at most bufferSize - 1 characters (the C buffer rule);
  // the default (cut the same way) when the section or key is missing.
  QString GetString(const QString& key, int bufferSize, const QString& defaultValue = QString()) const;
  // The key's value read as leading blanks, an optional sign and decimal
  // digits, wrapped modulo 2^32; 0 when the value does not start with a number;
  // the default when the key is missing or its value is empty.
  int GetInt(const QString& key, int defaultValue = 0) const;

  // Sets the key to the value. False (and nothing changes) when the value holds
  // a character that cp1252 cannot represent or a line break, or the file could
  // not be read. A value whose outer blanks or quotes a reader would strip is
  // written in double quotes, so it reads back as written.
  bool WriteString(const QString& key, const QString& value);
  bool WriteInt(const QString& key, int value);

  // Saves the pending writes. True when there was nothing to save or the save
  // worked; otherwise false with ErrorText() describing why. The old file is
  // left untouched when a save fails, and the pending writes are dropped.
  bool Flush();

  FileState State() const { return state_; }
  // True when the file holds the section (a header line naming it).
  bool HasSection() const { return FindSection() >= 0; }
  QString ErrorText() const { return error_; }
  QString Path() const { return path_; }
  QString Section() const { return section_; }
  // The file's bytes as they are now, writes included.
  const QByteArray& Bytes() const { return data_; }

 private:
  struct Line {
    int start = 0;       // first byte of the line
    int length = 0;      // bytes of the line without its terminator
    int terminator = 0;  // 0, 1 (LF or CR) or 2 (CR LF)
  };
  void Parse();
  // Line index of the first matching section header, or -1.
  int FindSection() const;
  // Line index of the first matching key line in the section starting at line
  // `header`, or -1. `end` receives the index one past the section's last line.
  int FindKey(int header, const QString& key, int* end) const;
  bool ReadValue(const QString& key, QString* value) const;

  QString section_;
  QString path_;
  QByteArray data_;
  std::vector<Line> lines_;
  FileState state_ = FileState::Missing;
  QString error_;
  bool dirty_ = false;
};

// Applies the integer rule of GetInt to a value text: leading blanks, optional
// sign, decimal digits, wrapped modulo 2^32; 0 when no digit follows.
int ProfileInt(const QString& text);
