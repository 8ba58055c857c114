// Runs a fuzz target over files or folders of inputs without libFuzzer, so the
// seed corpus is checked in every normal test run (and any compiler builds it).
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int inputs = 0;
  for (int a = 1; a < argc; ++a) {
    QStringList files;
    const QString arg = QString::fromLocal8Bit(argv[a]);
    if (QFileInfo(arg).isDir()) {
      QDirIterator it(arg, QDir::Files);
      while (it.hasNext()) files << it.next();
      files.sort();
    } else {
      files << arg;
    }
    for (const QString& name : files) {
      QFile f(name);
      if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
        return 1;
      }
      const QByteArray bytes = f.readAll();
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
      ++inputs;
    }
  }
  std::printf("%d inputs replayed\n", inputs);
  return inputs > 0 ? 0 : 1;
}
