// The archive's master data: customers with their addresses and sites,
// appliances with their descriptions, interval and state, renaming and
// merging, the change log, the search indexes and the lists a visit is
// planned from. Tests are never changed here: a merge only links appliances.
#include <QCollator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <map>
#include <set>

#include "core/archive.h"
#include "core/layout.h"

namespace {

// Watches one call to a server, as the archive's own calls are watched.
class Watching {
 public:
  Watching(Archive* archive, void (Archive::*watch)(), void (Archive::*unwatch)()) : archive_(archive), unwatch_(unwatch) {
    (archive_->*watch)();
  }
  ~Watching() { (archive_->*unwatch_)(); }
  Watching(const Watching&) = delete;
  Watching& operator=(const Watching&) = delete;

 private:
  Archive* archive_;
  void (Archive::*unwatch_)();
};

QString IsoDate(const QDate& d) { return d.isValid() ? d.toString(Qt::ISODate) : QString(); }
QDate FromIso(const QVariant& v) { return v.isNull() ? QDate() : QDate::fromString(v.toString(), Qt::ISODate); }
QVariant NullableDate(const QDate& d) { return d.isValid() ? QVariant(IsoDate(d)) : QVariant(QMetaType(QMetaType::QString)); }
QString DateText(const QDate& d) { return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString(); }

// A text for a column: never NULL and without NUL (see the store).
QString Storable(const QString& text) {
  if (text.isNull()) return QLatin1String("");
  if (!text.contains(QChar(0))) return text;
  QString copy = text;
  copy.replace(QChar(0), QChar(0xFFFD));
  return copy;
}

// What the name search reads of an appliance: its texts and its customer's name.
const QString kSearchText = QStringLiteral(
    "description || ' ' || maker_type || ' ' || serial_nr || ' ' || location || ' ' || "
    "COALESCE((SELECT name FROM customers WHERE customers.id = appliances.customer_id), '')");

QString ClassName(int klasse) {
  static const char* const kNames[] = {"", "I", "II", "III"};
  return klasse >= 1 && klasse <= 3 ? QString::fromLatin1(kNames[klasse]) : QString();
}

QString CustomerObject(const QString& name) { return QStringLiteral("Auftraggeber %1").arg(name); }
QString ApplianceObject(const QString& number) { return QStringLiteral("Gerät %1").arg(number); }

// A pattern of SQLite's GLOB that matches texts beginning with `prefix`.
QString GlobPrefix(const QString& prefix) {
  QString pattern;
  for (const QChar c : prefix) {
    if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('['))
      pattern += QLatin1Char('[') + c + QLatin1Char(']');
    else
      pattern += c;
  }
  return pattern + QLatin1Char('*');
}

// A pattern of LIKE (backslash escapes) that matches `text` where it stands:
// at the beginning (prefix) or anywhere.
QString LikePattern(const QString& text, bool prefix) {
  QString pattern = text;
  pattern.replace(QLatin1String("\\"), QLatin1String("\\\\"))
      .replace(QLatin1String("%"), QLatin1String("\\%"))
      .replace(QLatin1String("_"), QLatin1String("\\_"));
  return (prefix ? QString() : QStringLiteral("%")) + pattern + QLatin1Char('%');
}

}  // namespace

// ---- the schema step and the search indexes

QStringList Archive::MasterDataStep() const {
  const bool pg = kind_ == Kind::PostgreSQL;
  QStringList sql;
  for (const char* column : {"city", "phone", "fax", "contact", "email"})
    sql << QStringLiteral("ALTER TABLE customers ADD COLUMN %1 TEXT NOT NULL DEFAULT ''").arg(QLatin1String(column));
  sql << QStringLiteral("ALTER TABLE customers ADD COLUMN merged_into BIGINT REFERENCES customers(id)")
      << QStringLiteral("CREATE TABLE customer_sites (customer_id BIGINT NOT NULL REFERENCES customers(id), position "
                        "INTEGER NOT NULL, name TEXT NOT NULL, PRIMARY KEY (customer_id, name))")
      << QStringLiteral("ALTER TABLE appliances ADD COLUMN serial_nr TEXT NOT NULL DEFAULT ''")
      << QStringLiteral("ALTER TABLE appliances ADD COLUMN standard INTEGER NOT NULL DEFAULT 0")
      << QStringLiteral("ALTER TABLE appliances ADD COLUMN retired_on TEXT")
      << QStringLiteral("ALTER TABLE appliances ADD COLUMN retired_reason TEXT NOT NULL DEFAULT ''")
      << QStringLiteral("ALTER TABLE appliances ADD COLUMN merged_into BIGINT REFERENCES appliances(id)")
      << QStringLiteral("ALTER TABLE appliances ADD COLUMN last_test_id BIGINT")
      << QStringLiteral("ALTER TABLE appliances ADD COLUMN inventar_key TEXT NOT NULL DEFAULT ''")
      << QStringLiteral("ALTER TABLE appliances ADD COLUMN search_text TEXT NOT NULL DEFAULT ''")
      // A number's beginning, in the whole archive and within one customer.
      << QStringLiteral("CREATE INDEX appliances_number ON appliances (inventar_key%1)")
             .arg(pg ? QStringLiteral(" text_pattern_ops") : QString())
      << QStringLiteral("CREATE INDEX appliances_customer_number ON appliances (customer_id, inventar_key%1)")
             .arg(pg ? QStringLiteral(" text_pattern_ops") : QString())
      << QStringLiteral("CREATE INDEX appliances_merged ON appliances (merged_into)")
      << QStringLiteral("CREATE TABLE master_changes (id %1, changed_at TEXT NOT NULL, customer_id BIGINT, "
                        "appliance_id BIGINT, object TEXT NOT NULL, field TEXT NOT NULL, before_text TEXT NOT NULL, "
                        "after_text TEXT NOT NULL, reason TEXT NOT NULL)")
             .arg(pg ? QStringLiteral("BIGSERIAL PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"))
      << QStringLiteral("CREATE INDEX master_changes_customer ON master_changes (customer_id)")
      << QStringLiteral("CREATE INDEX master_changes_appliance ON master_changes (appliance_id)");
  // The due list in its order (SQLite's index on the day holds the row id already).
  if (pg) sql << QStringLiteral("CREATE INDEX appliances_due_id ON appliances (next_due, id)");
  return sql;
}

bool Archive::FillMasterData() {
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  QSqlQuery q(db);
  // The number as the search compares it; SQL's lower() knows only ASCII
  // everywhere, so the others are folded here.
  if (!q.exec(QStringLiteral("UPDATE appliances SET inventar_key = lower(inventar_nr)"))) return Fail(q.lastError());
  std::vector<std::pair<qint64, QString>> others;
  if (!q.exec(kind_ == Kind::PostgreSQL
                  ? QStringLiteral("SELECT id, inventar_nr FROM appliances WHERE inventar_nr ~ '[^ -~]'")
                  : QStringLiteral("SELECT id, inventar_nr FROM appliances WHERE inventar_nr GLOB '*[^ -~]*'")))
    return Fail(q.lastError());
  while (q.next()) others.emplace_back(q.value(0).toLongLong(), q.value(1).toString());
  q.finish();
  q.prepare(QStringLiteral("UPDATE appliances SET inventar_key = ? WHERE id = ?"));
  for (const auto& [id, number] : others) {
    q.addBindValue(NumberKey(number));
    q.addBindValue(id);
    if (!q.exec()) return Fail(q.lastError());
  }
  for (const QString& sql :
       {QStringLiteral("UPDATE appliances SET search_text = ") + kSearchText,
        QStringLiteral("UPDATE appliances SET last_test_id = (SELECT MAX(t.id) FROM tests t WHERE t.appliance_id = "
                       "appliances.id AND t.test_date = appliances.last_test)"),
        QStringLiteral("UPDATE appliances SET standard = COALESCE((SELECT t.standard FROM tests t WHERE t.id = "
                       "appliances.last_test_id), 0)")})
    if (!q.exec(sql)) return Fail(q.lastError());
  return true;
}

void Archive::EnsureNameIndex() {
  nameIndex_ = false;
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  Watching watch(this, &Archive::Watch, &Archive::Unwatch);
  QSqlQuery q(db);
  if (kind_ == Kind::PostgreSQL) {
    // Each statement planned for its values: a prepared search by a pattern
    // would otherwise fall back to a plan that reads every appliance.
    q.exec(QStringLiteral("SET plan_cache_mode = force_custom_plan"));
    if (q.exec(QStringLiteral("SELECT COUNT(*) FROM pg_indexes WHERE tablename = 'appliances' AND indexname = "
                              "'appliances_search'")) &&
        q.next() && q.value(0).toInt() > 0) {
      nameIndex_ = true;
      return;
    }
    q.finish();
    // pg_trgm comes with the server (Debian's postgresql package); a user who
    // may not add it gets the search without the index.
    if (!db.transaction()) return Begin();
    const bool made =
        q.exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm")) &&
        q.exec(QStringLiteral("CREATE INDEX appliances_search ON appliances USING gin (search_text gin_trgm_ops)"));
    nameIndex_ = made && db.commit();
    if (!nameIndex_) db.rollback();
    Begin();
    return;
  }
  if (q.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'appliance_search'")) && q.next() &&
      q.value(0).toInt() > 0) {
    nameIndex_ = true;
    return;
  }
  q.finish();
  if (!q.exec(QStringLiteral("SELECT sqlite_compileoption_used('ENABLE_FTS5')")) || !q.next() || q.value(0).toInt() != 1)
    return Begin();
  q.finish();
  // A full-text index of trigrams over the search text, kept in step with the
  // appliances by triggers.
  if (!db.transaction()) return Begin();
  bool made = true;
  for (const QString& sql :
       {QStringLiteral("CREATE VIRTUAL TABLE appliance_search USING fts5(search_text, content='appliances', "
                       "content_rowid='id', tokenize='trigram')"),
        QStringLiteral("CREATE TRIGGER appliance_search_insert AFTER INSERT ON appliances BEGIN INSERT INTO "
                       "appliance_search (rowid, search_text) VALUES (new.id, new.search_text); END"),
        QStringLiteral("CREATE TRIGGER appliance_search_delete AFTER DELETE ON appliances BEGIN INSERT INTO "
                       "appliance_search (appliance_search, rowid, search_text) VALUES ('delete', old.id, "
                       "old.search_text); END"),
        QStringLiteral("CREATE TRIGGER appliance_search_update AFTER UPDATE OF search_text ON appliances BEGIN "
                       "INSERT INTO appliance_search (appliance_search, rowid, search_text) VALUES ('delete', old.id, "
                       "old.search_text); INSERT INTO appliance_search (rowid, search_text) VALUES (new.id, "
                       "new.search_text); END"),
        QStringLiteral("INSERT INTO appliance_search (appliance_search) VALUES ('rebuild')")})
    made = made && q.exec(sql);
  nameIndex_ = made && db.commit();
  if (!nameIndex_) db.rollback();
  Begin();
}

QString Archive::NumberKey(const QString& number) { return number.simplified().toLower(); }

// ---- the search

std::vector<ArchiveData::Appliance> Archive::Search(const QString& text, int limit) {
  const QString wanted = Storable(text.simplified());
  if (wanted.isEmpty())
    return QueryAppliances(QStringLiteral("WHERE a.merged_into IS NULL ORDER BY c.name, a.inventar_nr LIMIT %1").arg(limit),
                           {});
  const bool pg = kind_ == Kind::PostgreSQL;
  // The beginning of the number, through its index.
  std::vector<ArchiveData::Appliance> found = QueryAppliances(
      QStringLiteral("WHERE a.inventar_key %1 ? AND a.merged_into IS NULL ORDER BY a.inventar_key LIMIT %2")
          .arg(pg ? QStringLiteral("LIKE") : QStringLiteral("GLOB"))
          .arg(limit),
      {pg ? LikePattern(NumberKey(wanted), true) : GlobPrefix(NumberKey(wanted))});
  if (Failed()) return {};
  // The names, through the trigram index (three characters or more).
  if (wanted.size() >= 3 && int(found.size()) < limit) {
    std::vector<ArchiveData::Appliance> named;
    if (pg) {
      named = QueryAppliances(QStringLiteral("WHERE a.search_text ILIKE ? AND a.merged_into IS NULL LIMIT %1").arg(limit),
                              {LikePattern(wanted, false)});
    } else if (nameIndex_) {
      QString phrase = wanted;
      phrase.replace(QLatin1String("\""), QLatin1String("\"\""));
      named = QueryAppliances(QStringLiteral("WHERE a.id IN (SELECT rowid FROM appliance_search WHERE appliance_search "
                                             "MATCH ? LIMIT %1) AND a.merged_into IS NULL LIMIT %2")
                                  .arg(limit * 2)
                                  .arg(limit),
                              {QLatin1Char('"') + phrase + QLatin1Char('"')});
    } else {
      named = QueryAppliances(
          QStringLiteral("WHERE a.search_text LIKE ? ESCAPE '\\' AND a.merged_into IS NULL LIMIT %1").arg(limit),
          {LikePattern(wanted, false)});
    }
    if (Failed()) return {};
    std::set<qint64> have;
    for (const ArchiveData::Appliance& a : found) have.insert(a.Id);
    for (ArchiveData::Appliance& a : named)
      if (int(found.size()) < limit && have.insert(a.Id).second) found.push_back(std::move(a));
  }
  QCollator collator;
  collator.setNumericMode(true);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::sort(found.begin(), found.end(), [&](const ArchiveData::Appliance& a, const ArchiveData::Appliance& b) {
    const int byCustomer = collator.compare(a.Customer, b.Customer);
    return byCustomer != 0 ? byCustomer < 0 : collator.compare(a.InventarNr, b.InventarNr) < 0;
  });
  return found;
}

// ---- customers

std::vector<ArchiveData::Customer> Archive::CustomerList() {
  std::vector<ArchiveData::Customer> list;
  if (!Ready()) return list;
  Watching watch(this, &Archive::Watch, &Archive::Unwatch);
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.setForwardOnly(true);
  if (!q.exec(QStringLiteral("SELECT id, name, address, city, phone, fax, contact, email FROM customers WHERE "
                             "merged_into IS NULL ORDER BY name"))) {
    Fail(q.lastError());
    return list;
  }
  while (q.next()) {
    ArchiveData::Customer c;
    c.Id = q.value(0).toLongLong();
    c.Name = q.value(1).toString();
    c.Anschrift = q.value(2).toString();
    c.PlzStadt = q.value(3).toString();
    c.Telefon = q.value(4).toString();
    c.Fax = q.value(5).toString();
    c.Kontaktperson = q.value(6).toString();
    c.EMail = q.value(7).toString();
    list.push_back(std::move(c));
  }
  if (q.lastError().isValid()) {
    Fail(q.lastError());
    list.clear();
  }
  return list;
}

bool Archive::ReadCustomer(qint64 id, ArchiveData::Customer* customer) {
  if (!Ready()) return false;
  Watching watch(this, &Archive::Watch, &Archive::Unwatch);
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(QStringLiteral("SELECT id, name, address, city, phone, fax, contact, email FROM customers WHERE id = ?"));
  q.addBindValue(id);
  if (!q.exec()) return Fail(q.lastError());
  if (!q.next()) {
    if (q.lastError().isValid()) return Fail(q.lastError());
    return Fail(Fault::Refused, QStringLiteral("Den Auftraggeber gibt es im Archiv nicht mehr (von einem anderen "
                                               "Programm entfernt?)."));
  }
  ArchiveData::Customer c;
  c.Id = q.value(0).toLongLong();
  c.Name = q.value(1).toString();
  c.Anschrift = q.value(2).toString();
  c.PlzStadt = q.value(3).toString();
  c.Telefon = q.value(4).toString();
  c.Fax = q.value(5).toString();
  c.Kontaktperson = q.value(6).toString();
  c.EMail = q.value(7).toString();
  q.finish();
  q.prepare(QStringLiteral("SELECT name FROM customer_sites WHERE customer_id = ? ORDER BY position, name"));
  q.addBindValue(id);
  if (!q.exec()) return Fail(q.lastError());
  while (q.next()) c.Standorte << q.value(0).toString();
  if (q.lastError().isValid()) return Fail(q.lastError());
  *customer = c;
  return true;
}

qint64 Archive::CustomerId(const QString& name) {
  if (!Ready()) return 0;
  Watching watch(this, &Archive::Watch, &Archive::Unwatch);
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(QStringLiteral("SELECT id, merged_into FROM customers WHERE name = ?"));
  q.addBindValue(Storable(name.simplified()));
  if (!q.exec()) return Fail(q.lastError()), 0;
  if (!q.next()) return q.lastError().isValid() ? (Fail(q.lastError()), 0) : 0;
  return q.value(1).isNull() ? q.value(0).toLongLong() : q.value(1).toLongLong();
}

QStringList Archive::Sites(qint64 customerId) {
  QStringList sites;
  if (!Ready()) return sites;
  Watching watch(this, &Archive::Watch, &Archive::Unwatch);
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(QStringLiteral("SELECT name FROM customer_sites WHERE customer_id = ? ORDER BY position, name"));
  q.addBindValue(customerId);
  if (!q.exec()) return Fail(q.lastError()), QStringList();
  while (q.next()) sites << q.value(0).toString();
  q.finish();
  q.prepare(QStringLiteral("SELECT DISTINCT location FROM appliances WHERE customer_id = ? AND merged_into IS NULL "
                           "AND location <> '' ORDER BY location"));
  q.addBindValue(customerId);
  if (!q.exec()) return Fail(q.lastError()), QStringList();
  while (q.next())
    if (!sites.contains(q.value(0).toString())) sites << q.value(0).toString();
  if (q.lastError().isValid()) return Fail(q.lastError()), QStringList();
  return sites;
}

qint64 Archive::SaveCustomer(const ArchiveData::Customer& given, const QString& reason) {
  if (!Ready()) return 0;
  ArchiveData::Customer c = given;
  for (QString* text : {&c.Name, &c.Anschrift, &c.PlzStadt, &c.Telefon, &c.Fax, &c.Kontaktperson, &c.EMail})
    *text = Storable(text->simplified());
  QStringList sites;
  for (const QString& site : c.Standorte)
    if (!site.simplified().isEmpty() && !sites.contains(site.simplified())) sites << Storable(site.simplified());
  if (c.Name.isEmpty()) return Fail(Fault::Refused, QStringLiteral("Ein Auftraggeber braucht einen Namen.")), 0;
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  Watching watch(this, &Archive::Watch, &Archive::Unwatch);
  if (!db.transaction()) return Fail(db.lastError()), 0;
  QSqlQuery q(db);
  auto fail = [&](const QSqlError& error) {
    Fail(error);
    db.rollback();
    return qint64(0);
  };
  auto refuse = [&](const QString& why) {
    Fail(Fault::Refused, why);
    db.rollback();
    return qint64(0);
  };
  // Who holds the name now (a customer, or a customer's former name).
  q.prepare(QStringLiteral("SELECT id, merged_into FROM customers WHERE name = ?"));
  q.addBindValue(c.Name);
  if (!q.exec()) return fail(q.lastError());
  const bool taken = q.next();
  const qint64 holder = taken ? q.value(0).toLongLong() : 0;
  const qint64 holderFor = taken && !q.value(1).isNull() ? q.value(1).toLongLong() : 0;
  q.finish();

  ArchiveData::Customer before;
  qint64 id = c.Id;
  if (id == 0) {
    if (taken)
      return refuse(holderFor ? QStringLiteral("„%1“ ist ein früherer Name eines anderen Auftraggebers. Wählen Sie "
                                               "diesen aus oder einen anderen Namen.")
                                    .arg(c.Name)
                              : QStringLiteral("Einen Auftraggeber „%1“ gibt es schon.").arg(c.Name));
    q.prepare(QStringLiteral("INSERT INTO customers (name) VALUES (?)"));
    q.addBindValue(c.Name);
    if (!q.exec()) return fail(q.lastError());
    q.prepare(QStringLiteral("SELECT id FROM customers WHERE name = ?"));
    q.addBindValue(c.Name);
    if (!q.exec() || !q.next()) return fail(q.lastError());
    id = q.value(0).toLongLong();
    q.finish();
    if (!Log(id, 0, CustomerObject(c.Name), QStringLiteral("angelegt"), QString(), c.Name, reason)) return db.rollback(), 0;
    before.Name = c.Name;
  } else {
    q.prepare(QStringLiteral("SELECT name, address, city, phone, fax, contact, email, merged_into FROM customers "
                             "WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec()) return fail(q.lastError());
    if (!q.next()) return refuse(QStringLiteral("Den Auftraggeber gibt es im Archiv nicht mehr."));
    if (!q.value(7).isNull())
      return refuse(QStringLiteral("Der Auftraggeber wurde mit einem anderen zusammengeführt; ändern Sie diesen."));
    before.Name = q.value(0).toString();
    before.Anschrift = q.value(1).toString();
    before.PlzStadt = q.value(2).toString();
    before.Telefon = q.value(3).toString();
    before.Fax = q.value(4).toString();
    before.Kontaktperson = q.value(5).toString();
    before.EMail = q.value(6).toString();
    q.finish();
    if (before.Name != c.Name) {
      // A new name: the old one stays another name of this customer.
      if (taken && holder != id && holderFor != id)
        return refuse(holderFor ? QStringLiteral("„%1“ ist ein früherer Name eines anderen Auftraggebers.").arg(c.Name)
                                : QStringLiteral("Einen Auftraggeber „%1“ gibt es schon. Sind es dieselben, führen Sie "
                                                 "sie zusammen.")
                                      .arg(c.Name));
      if (taken && holderFor == id) {
        q.prepare(QStringLiteral("DELETE FROM customers WHERE id = ?"));
        q.addBindValue(holder);
        if (!q.exec()) return fail(q.lastError());
      }
      q.prepare(QStringLiteral("UPDATE customers SET name = ? WHERE id = ?"));
      q.addBindValue(c.Name);
      q.addBindValue(id);
      if (!q.exec()) return fail(q.lastError());
      q.prepare(QStringLiteral("INSERT INTO customers (name, merged_into) VALUES (?, ?)"));
      q.addBindValue(before.Name);
      q.addBindValue(id);
      if (!q.exec()) return fail(q.lastError());
      if (!Log(id, 0, CustomerObject(c.Name), QStringLiteral("Name"), before.Name, c.Name, reason)) return db.rollback(), 0;
      if (!RefreshSearchText(QStringLiteral("customer_id = ?"), id)) return db.rollback(), 0;
    }
  }
  const struct {
    const char* column;
    const char* label;
    QString before, after;
  } fields[] = {{"address", "Anschrift", before.Anschrift, c.Anschrift},
                {"city", "PLZ/Stadt", before.PlzStadt, c.PlzStadt},
                {"phone", "Telefon", before.Telefon, c.Telefon},
                {"fax", "Fax", before.Fax, c.Fax},
                {"contact", "Kontaktperson", before.Kontaktperson, c.Kontaktperson},
                {"email", "E-Mail", before.EMail, c.EMail}};
  for (const auto& f : fields) {
    if (f.before == f.after) continue;
    q.prepare(QStringLiteral("UPDATE customers SET %1 = ? WHERE id = ?").arg(QLatin1String(f.column)));
    q.addBindValue(f.after);
    q.addBindValue(id);
    if (!q.exec()) return fail(q.lastError());
    if (!Log(id, 0, CustomerObject(c.Name), QString::fromUtf8(f.label), f.before, f.after, reason)) return db.rollback(), 0;
  }
  // The sites, in the user's order.
  QStringList oldSites;
  q.prepare(QStringLiteral("SELECT name FROM customer_sites WHERE customer_id = ? ORDER BY position, name"));
  q.addBindValue(id);
  if (!q.exec()) return fail(q.lastError());
  while (q.next()) oldSites << q.value(0).toString();
  q.finish();
  if (oldSites != sites) {
    q.prepare(QStringLiteral("DELETE FROM customer_sites WHERE customer_id = ?"));
    q.addBindValue(id);
    if (!q.exec()) return fail(q.lastError());
    q.prepare(QStringLiteral("INSERT INTO customer_sites (customer_id, position, name) VALUES (?, ?, ?)"));
    for (int i = 0; i < sites.size(); ++i) {
      q.addBindValue(id);
      q.addBindValue(i);
      q.addBindValue(sites[i]);
      if (!q.exec()) return fail(q.lastError());
    }
    if (!Log(id, 0, CustomerObject(c.Name), QStringLiteral("Standorte"), oldSites.join(QStringLiteral(", ")),
             sites.join(QStringLiteral(", ")), reason))
      return db.rollback(), 0;
  }
  if (!db.commit()) return fail(db.lastError());
  return id;
}

bool Archive::MergeCustomers(qint64 from, qint64 into) {
  if (!Ready()) return false;
  if (from == into) return Fail(Fault::Refused, QStringLiteral("Ein Auftraggeber kann nicht mit sich selbst zusammengeführt werden."));
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  Watching watch(this, &Archive::Watch, &Archive::Unwatch);
  if (!db.transaction()) return Fail(db.lastError());
  QSqlQuery q(db);
  auto fail = [&](const QSqlError& error) {
    Fail(error);
    db.rollback();
    return false;
  };
  auto refuse = [&](const QString& why) {
    Fail(Fault::Refused, why);
    db.rollback();
    return false;
  };
  QString names[2];
  ArchiveData::Customer target;
  const QStringList columns{QStringLiteral("address"), QStringLiteral("city"), QStringLiteral("phone"),
                            QStringLiteral("fax"), QStringLiteral("contact"), QStringLiteral("email")};
  QStringList fromValues, intoValues;
  for (int i = 0; i < 2; ++i) {
    q.prepare(QStringLiteral("SELECT name, merged_into, address, city, phone, fax, contact, email FROM customers "
                             "WHERE id = ?"));
    q.addBindValue(i == 0 ? from : into);
    if (!q.exec()) return fail(q.lastError());
    if (!q.next() || !q.value(1).isNull())
      return refuse(QStringLiteral("Einen der Auftraggeber gibt es nicht mehr, oder er wurde schon zusammengeführt."));
    names[i] = q.value(0).toString();
    for (int c = 0; c < columns.size(); ++c) (i == 0 ? fromValues : intoValues) << q.value(2 + c).toString();
    q.finish();
  }
  // The appliances: to the other customer, or merged with the one of the same number there.
  std::vector<std::tuple<qint64, QString, bool>> appliances;
  q.prepare(QStringLiteral("SELECT id, inventar_nr, merged_into FROM appliances WHERE customer_id = ?"));
  q.addBindValue(from);
  if (!q.exec()) return fail(q.lastError());
  while (q.next()) appliances.emplace_back(q.value(0).toLongLong(), q.value(1).toString(), !q.value(2).isNull());
  q.finish();
  for (const auto& [id, number, merged] : appliances) {
    q.prepare(QStringLiteral("SELECT id, merged_into FROM appliances WHERE customer_id = ? AND inventar_nr = ?"));
    q.addBindValue(into);
    q.addBindValue(number);
    if (!q.exec()) return fail(q.lastError());
    if (!q.next()) {
      q.finish();
      q.prepare(QStringLiteral("UPDATE appliances SET customer_id = ? WHERE id = ?"));
      q.addBindValue(into);
      q.addBindValue(id);
      if (!q.exec()) return fail(q.lastError());
      continue;
    }
    const qint64 same = q.value(1).isNull() ? q.value(0).toLongLong() : q.value(1).toLongLong();
    q.finish();
    // A former number stays with the customer it was given up at; its tests
    // reach their appliance through the link.
    if (merged) continue;
    if (!MergeAppliancesInTransaction(id, same)) return db.rollback(), false;
  }
  // Its sites after the other's, its data where the other has none.
  q.prepare(QStringLiteral("SELECT COALESCE(MAX(position), -1) FROM customer_sites WHERE customer_id = ?"));
  q.addBindValue(into);
  if (!q.exec() || !q.next()) return fail(q.lastError());
  const int last = q.value(0).toInt();
  q.finish();
  q.prepare(QStringLiteral("INSERT INTO customer_sites (customer_id, position, name) SELECT ?, position + ?, name FROM "
                           "customer_sites WHERE customer_id = ? ON CONFLICT (customer_id, name) DO NOTHING"));
  q.addBindValue(into);
  q.addBindValue(last + 1);
  q.addBindValue(from);
  if (!q.exec()) return fail(q.lastError());
  for (int c = 0; c < columns.size(); ++c) {
    if (!intoValues[c].isEmpty() || fromValues[c].isEmpty()) continue;
    q.prepare(QStringLiteral("UPDATE customers SET %1 = ? WHERE id = ?").arg(columns[c]));
    q.addBindValue(fromValues[c]);
    q.addBindValue(into);
    if (!q.exec()) return fail(q.lastError());
  }
  for (const QString& sql : {QStringLiteral("UPDATE customers SET merged_into = ? WHERE merged_into = ?"),
                             QStringLiteral("UPDATE customers SET merged_into = ? WHERE id = ?")}) {
    q.prepare(sql);
    q.addBindValue(into);
    q.addBindValue(from);
    if (!q.exec()) return fail(q.lastError());
  }
  if (!RefreshSearchText(QStringLiteral("customer_id = ?"), into) ||
      !Log(into, 0, CustomerObject(names[1]), QStringLiteral("zusammengeführt"), names[0], names[1],
           QStringLiteral("von Hand")) ||
      !Log(from, 0, CustomerObject(names[0]), QStringLiteral("zusammengeführt mit"), names[0], names[1],
           QStringLiteral("von Hand")))
    return db.rollback(), false;
  if (!db.commit()) return fail(db.lastError());
  return true;
}

// ---- appliances

bool Archive::ReadAppliance(qint64 id, ArchiveData::Appliance* appliance) {
  const std::vector<ArchiveData::Appliance> found = QueryAppliances(QStringLiteral("WHERE a.id = ?"), {id});
  if (Failed()) return false;
  if (found.empty())
    return Fail(Fault::Refused, QStringLiteral("Das Gerät gibt es im Archiv nicht mehr (von einem anderen Programm "
                                               "entfernt?)."));
  *appliance = found[0];
  return true;
}

qint64 Archive::SaveAppliance(const ArchiveData::Appliance& given, const QString& reason) {
  if (!Ready()) return 0;
  ArchiveData::Appliance a = given;
  for (QString* text : {&a.InventarNr, &a.Bezeichnung, &a.HerstellerTyp, &a.Seriennummer, &a.Standort, &a.RetiredReason})
    *text = Storable(text->simplified());
  if (a.InventarNr.isEmpty()) return Fail(Fault::Refused, QStringLiteral("Ein Gerät braucht eine Inventar-Nr.")), 0;
  if (a.IntervalMonths < 1 || a.IntervalMonths > 120)
    return Fail(Fault::Refused, QStringLiteral("Das Prüfintervall liegt zwischen 1 und 120 Monaten.")), 0;
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  Watching watch(this, &Archive::Watch, &Archive::Unwatch);
  if (!db.transaction()) return Fail(db.lastError()), 0;
  QSqlQuery q(db);
  auto fail = [&](const QSqlError& error) {
    Fail(error);
    db.rollback();
    return qint64(0);
  };
  auto refuse = [&](const QString& why) {
    Fail(Fault::Refused, why);
    db.rollback();
    return qint64(0);
  };
  qint64 id = a.Id;
  ArchiveData::Appliance before;
  if (id > 0) {
    q.prepare(QStringLiteral("SELECT customer_id, inventar_nr, description, maker_type, serial_nr, location, "
                             "protection_class, interval_months, last_test, retired_on, retired_reason, merged_into "
                             "FROM appliances WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec()) return fail(q.lastError());
    if (!q.next()) return refuse(QStringLiteral("Das Gerät gibt es im Archiv nicht mehr."));
    if (!q.value(11).isNull())
      return refuse(QStringLiteral("Das Gerät wurde mit einem anderen zusammengeführt; ändern Sie dieses."));
    before.CustomerId = q.value(0).toLongLong();
    before.InventarNr = q.value(1).toString();
    before.Bezeichnung = q.value(2).toString();
    before.HerstellerTyp = q.value(3).toString();
    before.Seriennummer = q.value(4).toString();
    before.Standort = q.value(5).toString();
    before.ProtectionClass = q.value(6).toInt();
    before.IntervalMonths = q.value(7).toInt();
    before.LastTest = FromIso(q.value(8));
    before.RetiredOn = FromIso(q.value(9));
    before.RetiredReason = q.value(10).toString();
    q.finish();
    a.CustomerId = before.CustomerId;
  }
  if (a.CustomerId <= 0) return refuse(QStringLiteral("Ein Gerät gehört zu einem Auftraggeber; wählen Sie ihn zuerst."));
  if (id == 0 || a.InventarNr != before.InventarNr) {
    // The number must be free with this customer (or be a former number of this very appliance).
    q.prepare(QStringLiteral("SELECT id, merged_into FROM appliances WHERE customer_id = ? AND inventar_nr = ?"));
    q.addBindValue(a.CustomerId);
    q.addBindValue(a.InventarNr);
    if (!q.exec()) return fail(q.lastError());
    if (q.next()) {
      const qint64 holder = q.value(0).toLongLong();
      const qint64 holderFor = q.value(1).isNull() ? 0 : q.value(1).toLongLong();
      q.finish();
      if (id == 0 || holderFor != id)
        return refuse(holderFor ? QStringLiteral("Die Inventar-Nr. „%1“ ist eine frühere Nummer eines anderen Geräts.")
                                      .arg(a.InventarNr)
                                : QStringLiteral("Die Inventar-Nr. „%1“ gibt es bei diesem Auftraggeber schon. Ist es "
                                                 "dasselbe Gerät, führen Sie die beiden zusammen.")
                                      .arg(a.InventarNr));
      // Back to a former number: the link under it gives the number up (it
      // stays as a row of its own, as a merged appliance's tests need it).
      q.prepare(QStringLiteral("UPDATE appliances SET inventar_nr = ?, inventar_key = ? WHERE id = ?"));
      const QString given = QStringLiteral("%1 (frühere Nr., #%2)").arg(a.InventarNr).arg(holder);
      q.addBindValue(given);
      q.addBindValue(NumberKey(given));
      q.addBindValue(holder);
      if (!q.exec()) return fail(q.lastError());
    }
    q.finish();
  }
  const QDate today = Clock::Today();
  if (id == 0) {
    q.prepare(QStringLiteral("INSERT INTO appliances (customer_id, inventar_nr, inventar_key, description, maker_type, "
                             "serial_nr, location, protection_class, standard, interval_months, next_due, retired_on, "
                             "retired_reason) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(a.CustomerId);
    q.addBindValue(a.InventarNr);
    q.addBindValue(NumberKey(a.InventarNr));
    q.addBindValue(a.Bezeichnung);
    q.addBindValue(a.HerstellerTyp);
    q.addBindValue(a.Seriennummer);
    q.addBindValue(a.Standort);
    q.addBindValue(a.ProtectionClass);
    q.addBindValue(a.Standard);
    q.addBindValue(a.IntervalMonths);
    // Never tested: due now.
    q.addBindValue(a.Retired() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(IsoDate(today)));
    q.addBindValue(NullableDate(a.RetiredOn));
    q.addBindValue(a.RetiredReason);
    if (!q.exec()) return fail(q.lastError());
    q.prepare(QStringLiteral("SELECT id FROM appliances WHERE customer_id = ? AND inventar_nr = ?"));
    q.addBindValue(a.CustomerId);
    q.addBindValue(a.InventarNr);
    if (!q.exec() || !q.next()) return fail(q.lastError());
    id = q.value(0).toLongLong();
    q.finish();
    if (!Log(a.CustomerId, id, ApplianceObject(a.InventarNr), QStringLiteral("angelegt"), QString(),
             a.Bezeichnung.isEmpty() ? a.InventarNr : a.Bezeichnung, reason) ||
        !RefreshSearchText(QStringLiteral("id = ?"), id))
      return db.rollback(), 0;
    if (!db.commit()) return fail(db.lastError());
    return id;
  }
  const QString object = ApplianceObject(a.InventarNr);
  if (a.InventarNr != before.InventarNr) {
    q.prepare(QStringLiteral("UPDATE appliances SET inventar_nr = ?, inventar_key = ? WHERE id = ?"));
    q.addBindValue(a.InventarNr);
    q.addBindValue(NumberKey(a.InventarNr));
    q.addBindValue(id);
    if (!q.exec()) return fail(q.lastError());
    // The old number stays another number of this appliance.
    q.prepare(QStringLiteral("INSERT INTO appliances (customer_id, inventar_nr, inventar_key, merged_into) VALUES (?, ?, ?, ?)"));
    q.addBindValue(a.CustomerId);
    q.addBindValue(before.InventarNr);
    q.addBindValue(NumberKey(before.InventarNr));
    q.addBindValue(id);
    if (!q.exec()) return fail(q.lastError());
    if (!Log(a.CustomerId, id, object, QStringLiteral("Inventar-Nr."), before.InventarNr, a.InventarNr, reason))
      return db.rollback(), 0;
  }
  const struct {
    const char* column;
    const char* label;
    QString before, after;
  } texts[] = {{"description", "Gerät/Bezeichnung", before.Bezeichnung, a.Bezeichnung},
               {"maker_type", "Hersteller/Typ", before.HerstellerTyp, a.HerstellerTyp},
               {"serial_nr", "Seriennummer", before.Seriennummer, a.Seriennummer},
               {"location", "Standort", before.Standort, a.Standort}};
  bool textChanged = false;
  for (const auto& t : texts) {
    if (t.before == t.after) continue;
    textChanged = true;
    q.prepare(QStringLiteral("UPDATE appliances SET %1 = ? WHERE id = ?").arg(QLatin1String(t.column)));
    q.addBindValue(t.after);
    q.addBindValue(id);
    if (!q.exec()) return fail(q.lastError());
    if (!Log(a.CustomerId, id, object, QString::fromUtf8(t.label), t.before, t.after, reason)) return db.rollback(), 0;
  }
  if (a.ProtectionClass != before.ProtectionClass) {
    q.prepare(QStringLiteral("UPDATE appliances SET protection_class = ? WHERE id = ?"));
    q.addBindValue(a.ProtectionClass);
    q.addBindValue(id);
    if (!q.exec()) return fail(q.lastError());
    if (!Log(a.CustomerId, id, object, QStringLiteral("Schutzklasse"), ClassName(before.ProtectionClass),
             ClassName(a.ProtectionClass), reason))
      return db.rollback(), 0;
  }
  const bool stateChanged = a.RetiredOn != before.RetiredOn || a.RetiredReason != before.RetiredReason;
  if (a.IntervalMonths != before.IntervalMonths || stateChanged) {
    // The next test date follows the interval and the state: none while retired.
    const QDate next = a.Retired() ? QDate() : before.LastTest.isValid() ? before.LastTest.addMonths(a.IntervalMonths) : today;
    q.prepare(QStringLiteral("UPDATE appliances SET interval_months = ?, retired_on = ?, retired_reason = ?, next_due = ? "
                             "WHERE id = ?"));
    q.addBindValue(a.IntervalMonths);
    q.addBindValue(NullableDate(a.RetiredOn));
    q.addBindValue(a.RetiredReason);
    q.addBindValue(NullableDate(next));
    q.addBindValue(id);
    if (!q.exec()) return fail(q.lastError());
    if (a.IntervalMonths != before.IntervalMonths &&
        !Log(a.CustomerId, id, object, QStringLiteral("Prüfintervall"),
             QStringLiteral("%1 Monate").arg(before.IntervalMonths), QStringLiteral("%1 Monate").arg(a.IntervalMonths),
             reason))
      return db.rollback(), 0;
    auto state = [](const ArchiveData::Appliance& x) {
      return x.Retired() ? QStringLiteral("ausgemustert am %1%2")
                               .arg(DateText(x.RetiredOn),
                                    x.RetiredReason.isEmpty() ? QString() : QStringLiteral(": ") + x.RetiredReason)
                         : QStringLiteral("in Betrieb");
    };
    if (stateChanged && !Log(a.CustomerId, id, object, QStringLiteral("Zustand"), state(before), state(a), reason))
      return db.rollback(), 0;
  }
  if ((textChanged || a.InventarNr != before.InventarNr) && !RefreshSearchText(QStringLiteral("id = ?"), id))
    return db.rollback(), 0;
  if (!db.commit()) return fail(db.lastError());
  return id;
}

bool Archive::Retire(qint64 applianceId, const QDate& on, const QString& why, const QString& reason) {
  ArchiveData::Appliance a;
  if (!ReadAppliance(applianceId, &a)) return false;
  a.RetiredOn = on.isValid() ? on : Clock::Today();
  a.RetiredReason = why;
  return SaveAppliance(a, reason) != 0;
}

bool Archive::MergeAppliances(qint64 from, qint64 into) {
  if (!Ready()) return false;
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  Watching watch(this, &Archive::Watch, &Archive::Unwatch);
  if (!db.transaction()) return Fail(db.lastError());
  if (!MergeAppliancesInTransaction(from, into)) return db.rollback(), false;
  if (!db.commit()) {
    Fail(db.lastError());
    db.rollback();
    return false;
  }
  return true;
}

bool Archive::MergeAppliancesInTransaction(qint64 from, qint64 into) {
  if (from == into) return Fail(Fault::Refused, QStringLiteral("Ein Gerät kann nicht mit sich selbst zusammengeführt werden."));
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  struct Side {
    qint64 customer = 0;
    QString number, texts[4];
    int interval = 12;
    bool retired = false;
  } sides[2];
  for (int i = 0; i < 2; ++i) {
    q.prepare(QStringLiteral("SELECT customer_id, inventar_nr, description, maker_type, serial_nr, location, "
                             "interval_months, retired_on, merged_into FROM appliances WHERE id = ?"));
    q.addBindValue(i == 0 ? from : into);
    if (!q.exec()) return Fail(q.lastError());
    if (!q.next() || !q.value(8).isNull())
      return Fail(Fault::Refused, QStringLiteral("Eines der Geräte gibt es nicht mehr, oder es wurde schon zusammengeführt."));
    sides[i].customer = q.value(0).toLongLong();
    sides[i].number = q.value(1).toString();
    for (int t = 0; t < 4; ++t) sides[i].texts[t] = q.value(2 + t).toString();
    sides[i].interval = q.value(6).toInt();
    sides[i].retired = !q.value(7).isNull();
    q.finish();
  }
  // Its former numbers and itself now lead to the other; the tests stay as stored.
  for (const QString& sql : {QStringLiteral("UPDATE appliances SET merged_into = ? WHERE merged_into = ?"),
                             QStringLiteral("UPDATE appliances SET merged_into = ?, next_due = NULL WHERE id = ?")}) {
    q.prepare(sql);
    q.addBindValue(into);
    q.addBindValue(from);
    if (!q.exec()) return Fail(q.lastError());
  }
  // The latest test of both is the latest of the one.
  q.prepare(QStringLiteral("SELECT test_date, id FROM tests WHERE appliance_id = ? OR appliance_id IN (SELECT id FROM "
                           "appliances WHERE merged_into = ?) ORDER BY test_date DESC, id DESC LIMIT 1"));
  q.addBindValue(into);
  q.addBindValue(into);
  if (!q.exec()) return Fail(q.lastError());
  QDate last;
  qint64 lastId = 0;
  if (q.next()) {
    last = FromIso(q.value(0));
    lastId = q.value(1).toLongLong();
  }
  q.finish();
  const QDate next = sides[1].retired ? QDate() : last.isValid() ? last.addMonths(sides[1].interval) : Clock::Today();
  q.prepare(QStringLiteral("UPDATE appliances SET last_test = ?, last_test_id = ?, next_due = ?, "
                           "description = CASE WHEN description = '' THEN ? ELSE description END, "
                           "maker_type = CASE WHEN maker_type = '' THEN ? ELSE maker_type END, "
                           "serial_nr = CASE WHEN serial_nr = '' THEN ? ELSE serial_nr END, "
                           "location = CASE WHEN location = '' THEN ? ELSE location END WHERE id = ?"));
  q.addBindValue(NullableDate(last));
  q.addBindValue(lastId > 0 ? QVariant(lastId) : QVariant(QMetaType(QMetaType::LongLong)));
  q.addBindValue(NullableDate(next));
  for (const QString& text : sides[0].texts) q.addBindValue(text);
  q.addBindValue(into);
  if (!q.exec()) return Fail(q.lastError());
  return RefreshSearchText(QStringLiteral("id = ?"), into) &&
         Log(sides[1].customer, into, ApplianceObject(sides[1].number), QStringLiteral("zusammengeführt"),
             sides[0].number, sides[1].number, QStringLiteral("von Hand")) &&
         Log(sides[0].customer, from, ApplianceObject(sides[0].number), QStringLiteral("zusammengeführt mit"),
             sides[0].number, sides[1].number, QStringLiteral("von Hand"));
}

std::vector<ArchiveData::Change> Archive::Changes(qint64 customerId, qint64 applianceId, int limit) {
  std::vector<ArchiveData::Change> changes;
  if (!Ready()) return changes;
  Watching watch(this, &Archive::Watch, &Archive::Unwatch);
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.setForwardOnly(true);
  const QString columns = QStringLiteral("SELECT changed_at, customer_id, appliance_id, object, field, before_text, "
                                         "after_text, reason FROM master_changes ");
  if (applianceId > 0) {
    q.prepare(columns + QStringLiteral("WHERE appliance_id IN (SELECT ? UNION ALL SELECT id FROM appliances WHERE "
                                       "merged_into = ?) ORDER BY id DESC LIMIT %1")
                            .arg(limit));
    q.addBindValue(applianceId);
    q.addBindValue(applianceId);
  } else {
    // Its own changes and its appliances' (logged with their customer), also
    // those of customers merged into it.
    q.prepare(columns + QStringLiteral("WHERE customer_id IN (SELECT ? UNION ALL SELECT id FROM customers WHERE "
                                       "merged_into = ?) ORDER BY id DESC LIMIT %1")
                            .arg(limit));
    q.addBindValue(customerId);
    q.addBindValue(customerId);
  }
  if (!q.exec()) {
    Fail(q.lastError());
    return changes;
  }
  while (q.next()) {
    ArchiveData::Change c;
    c.At = QDateTime::fromString(q.value(0).toString(), Qt::ISODate);
    c.CustomerId = q.value(1).toLongLong();
    c.ApplianceId = q.value(2).toLongLong();
    c.Object = q.value(3).toString();
    c.Field = q.value(4).toString();
    c.Before = q.value(5).toString();
    c.After = q.value(6).toString();
    c.Reason = q.value(7).toString();
    changes.push_back(std::move(c));
  }
  if (q.lastError().isValid()) {
    Fail(q.lastError());
    changes.clear();
  }
  return changes;
}

// ---- visits

std::vector<ArchiveData::Appliance> Archive::VisitPlan(qint64 customerId, const QStringList& sites, const QDate& dueBy) {
  QString where = QStringLiteral("WHERE a.customer_id = ? AND a.merged_into IS NULL AND a.retired_on IS NULL ");
  QVariantList values{customerId};
  if (!sites.isEmpty()) {
    QStringList marks;
    for (const QString& site : sites) {
      marks << QStringLiteral("?");
      values << Storable(site);
    }
    where += QStringLiteral("AND a.location IN (%1) ").arg(marks.join(QStringLiteral(", ")));
  }
  if (dueBy.isValid()) {
    where += QStringLiteral("AND (a.next_due IS NULL OR a.next_due <= ?) ");
    values << IsoDate(dueBy);
  }
  where += QStringLiteral("ORDER BY CASE WHEN a.last_test_id IS NULL THEN 1 ELSE 0 END, a.last_test_id, a.inventar_key");
  return QueryAppliances(where, values);
}

std::vector<ArchiveData::Appliance> Archive::Complete(qint64 customerId, const QString& prefix, int limit) {
  const bool pg = kind_ == Kind::PostgreSQL;
  const QString key = NumberKey(prefix);
  const QString match = pg ? QStringLiteral("LIKE") : QStringLiteral("GLOB");
  const QVariant pattern = pg ? LikePattern(key, true) : GlobPrefix(key);
  if (customerId <= 0)
    return QueryAppliances(QStringLiteral("WHERE a.inventar_key %1 ? AND a.merged_into IS NULL ORDER BY a.inventar_key "
                                          "LIMIT %2")
                               .arg(match)
                               .arg(limit),
                           {pattern});
  return QueryAppliances(QStringLiteral("WHERE a.customer_id = ? AND a.inventar_key %1 ? AND a.merged_into IS NULL "
                                        "ORDER BY a.inventar_key LIMIT %2")
                             .arg(match)
                             .arg(limit),
                         {customerId, pattern});
}

std::map<QString, ArchiveData::Appliance> Archive::Lookup(qint64 customerId, const QStringList& numbers) {
  std::map<QString, ArchiveData::Appliance> found;
  QStringList keys;
  for (const QString& number : numbers) {
    const QString key = NumberKey(number);
    if (!key.isEmpty() && !keys.contains(key)) keys << key;
  }
  // A hundred numbers a query; a former number leads to its appliance.
  std::map<QString, qint64> linked;
  for (int start = 0; start < keys.size(); start += 100) {
    const QStringList chunk = keys.mid(start, 100);
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!Ready()) return {};
    Watching watch(this, &Archive::Watch, &Archive::Unwatch);
    QStringList marks;
    for (int i = 0; i < chunk.size(); ++i) marks << QStringLiteral("?");
    q.prepare(QStringLiteral("SELECT inventar_key, merged_into, id FROM appliances WHERE customer_id = ? AND "
                             "inventar_key IN (%1) ORDER BY id")
                  .arg(marks.join(QStringLiteral(", "))));
    q.addBindValue(customerId);
    for (const QString& key : chunk) q.addBindValue(Storable(key));
    if (!q.exec()) return Fail(q.lastError()), std::map<QString, ArchiveData::Appliance>();
    while (q.next()) {
      const QString key = q.value(0).toString();
      const qint64 target = q.value(1).isNull() ? q.value(2).toLongLong() : q.value(1).toLongLong();
      // An appliance of its own under the number comes before a former number.
      if (!linked.count(key) || q.value(1).isNull()) linked[key] = target;
    }
    if (q.lastError().isValid()) return Fail(q.lastError()), std::map<QString, ArchiveData::Appliance>();
  }
  std::vector<qint64> ids;
  for (const auto& [key, id] : linked) ids.push_back(id);
  std::map<qint64, ArchiveData::Appliance> byId;
  for (size_t start = 0; start < ids.size(); start += 100) {
    QStringList marks;
    QVariantList values;
    for (size_t i = start; i < std::min(ids.size(), start + 100); ++i) {
      marks << QStringLiteral("?");
      values << ids[i];
    }
    for (ArchiveData::Appliance& a :
         QueryAppliances(QStringLiteral("WHERE a.id IN (%1)").arg(marks.join(QStringLiteral(", "))), values))
      byId[a.Id] = std::move(a);
    if (Failed()) return {};
  }
  for (const auto& [key, id] : linked)
    if (byId.count(id)) found[key] = byId[id];
  return found;
}

// ---- what a store does to the master data

bool Archive::ResolveForStore(const ReportRecord& report, const ArchiveData::Appliance& fromTest, const QDate& date,
                              qint64* customerId, qint64* applianceId, QDate* lastTest, bool* made) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  *made = false;
  const QString reason = QStringLiteral("Prüfung vom %1").arg(DateText(date));
  // The customer, under its name or a former one; made when new, with the
  // client's address as the report gives it.
  q.prepare(QStringLiteral("INSERT INTO customers (name) VALUES (?) ON CONFLICT (name) DO NOTHING"));
  q.addBindValue(fromTest.Customer);
  if (!q.exec()) return Fail(q.lastError());
  const bool newCustomer = q.numRowsAffected() > 0;
  q.prepare(QStringLiteral("SELECT id, merged_into FROM customers WHERE name = ?"));
  q.addBindValue(fromTest.Customer);
  if (!q.exec() || !q.next()) return Fail(q.lastError());
  *customerId = q.value(1).isNull() ? q.value(0).toLongLong() : q.value(1).toLongLong();
  q.finish();
  if (newCustomer && !Log(*customerId, 0, CustomerObject(fromTest.Customer), QStringLiteral("angelegt"), QString(),
                          fromTest.Customer, reason))
    return false;
  {
    const struct {
      const char* column;
      const char* label;
      int field;
    } fields[] = {{"address", "Anschrift", Layout::kFieldAGAnschrift},
                  {"city", "PLZ/Stadt", Layout::kFieldAGPlzStadt},
                  {"phone", "Telefon", Layout::kFieldAGTel},
                  {"fax", "Fax", Layout::kFieldAGFax},
                  {"contact", "Kontaktperson", Layout::kFieldAGKontaktperson}};
    q.prepare(QStringLiteral("SELECT name, address, city, phone, fax, contact FROM customers WHERE id = ?"));
    q.addBindValue(*customerId);
    if (!q.exec() || !q.next()) return Fail(q.lastError());
    const QString name = q.value(0).toString();
    QStringList now;
    for (int i = 0; i < 5; ++i) now << q.value(1 + i).toString();
    q.finish();
    for (int i = 0; i < 5; ++i) {
      // Only what the customer's data do not say yet: they are kept by hand.
      const QString text = Storable(report.Fields[fields[i].field].simplified());
      if (!now[i].isEmpty() || text.isEmpty()) continue;
      q.prepare(QStringLiteral("UPDATE customers SET %1 = ? WHERE id = ?").arg(QLatin1String(fields[i].column)));
      q.addBindValue(text);
      q.addBindValue(*customerId);
      if (!q.exec()) return Fail(q.lastError());
      if (!Log(*customerId, 0, CustomerObject(name), QString::fromUtf8(fields[i].label), QString(), text, reason))
        return false;
    }
  }
  // The appliance: its number in any case, a former number leading to it.
  auto find = [&](qint64* id, QDate* last) {
    q.prepare(QStringLiteral("SELECT id, merged_into FROM appliances WHERE customer_id = ? AND inventar_key = ? "
                             "ORDER BY CASE WHEN inventar_nr = ? THEN 0 ELSE 1 END, CASE WHEN merged_into IS NULL THEN 0 "
                             "ELSE 1 END, id LIMIT 1"));
    q.addBindValue(*customerId);
    q.addBindValue(NumberKey(fromTest.InventarNr));
    q.addBindValue(fromTest.InventarNr);
    if (!q.exec()) {
      Fail(q.lastError());
      return -1;
    }
    if (!q.next()) {
      if (!q.lastError().isValid()) return 0;
      Fail(q.lastError());
      return -1;
    }
    *id = q.value(1).isNull() ? q.value(0).toLongLong() : q.value(1).toLongLong();
    q.finish();
    q.prepare(QStringLiteral("SELECT last_test FROM appliances WHERE id = ?"));
    q.addBindValue(*id);
    if (!q.exec() || !q.next()) {
      Fail(q.lastError());
      return -1;
    }
    *last = FromIso(q.value(0));
    q.finish();
    return 1;
  };
  int found = find(applianceId, lastTest);
  if (found < 0) return false;
  if (found == 0) {
    q.prepare(QStringLiteral("INSERT INTO appliances (customer_id, inventar_nr, inventar_key) VALUES (?, ?, ?) "
                             "ON CONFLICT (customer_id, inventar_nr) DO NOTHING"));
    q.addBindValue(*customerId);
    q.addBindValue(fromTest.InventarNr);
    q.addBindValue(NumberKey(fromTest.InventarNr));
    if (!q.exec()) return Fail(q.lastError());
    *made = q.numRowsAffected() > 0;
    found = find(applianceId, lastTest);
    if (found <= 0) return found < 0 ? false : Fail(Fault::Refused, QStringLiteral("Das Gerät konnte nicht angelegt werden."));
    if (*made && !Log(*customerId, *applianceId, ApplianceObject(fromTest.InventarNr), QStringLiteral("angelegt"),
                     QString(), fromTest.Bezeichnung.isEmpty() ? fromTest.InventarNr : fromTest.Bezeichnung, reason))
      return false;
  }
  return true;
}

bool Archive::UpdateFromTest(qint64 applianceId, const ArchiveData::Appliance& fromTest, const QDate& date,
                             qint64 testId, bool latest, const QDate& lastTest, bool made) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(QStringLiteral("SELECT customer_id, inventar_nr, description, maker_type, serial_nr, location, "
                           "protection_class, standard, interval_months, retired_on FROM appliances WHERE id = ?"));
  q.addBindValue(applianceId);
  if (!q.exec() || !q.next()) return Fail(q.lastError());
  const qint64 customerId = q.value(0).toLongLong();
  const QString object = ApplianceObject(q.value(1).toString());
  QString texts[4];
  for (int i = 0; i < 4; ++i) texts[i] = q.value(2 + i).toString();
  int klasse = q.value(6).toInt(), standard = q.value(7).toInt(), interval = q.value(8).toInt();
  const bool retired = !q.value(9).isNull();
  q.finish();
  const QString reason = QStringLiteral("Prüfung vom %1").arg(DateText(date));
  static const char* const kLabels[4] = {"Gerät/Bezeichnung", "Hersteller/Typ", "Seriennummer", "Standort"};
  const QString given[4] = {fromTest.Bezeichnung, fromTest.HerstellerTyp, fromTest.Seriennummer, fromTest.Standort};
  bool textChanged = false;
  for (int i = 0; i < 4; ++i) {
    // The latest test describes the appliance; an older one only fills what is empty.
    if (given[i].isEmpty() || given[i] == texts[i] || (!latest && !texts[i].isEmpty())) continue;
    // An appliance this test made is described by it, not changed.
    if (!made && !Log(customerId, applianceId, object, QString::fromUtf8(kLabels[i]), texts[i], given[i], reason))
      return false;
    texts[i] = given[i];
    textChanged = true;
  }
  if (latest) {
    if (fromTest.ProtectionClass >= 1 && fromTest.ProtectionClass <= 3 && fromTest.ProtectionClass != klasse) {
      if (!made && klasse != 0 && !Log(customerId, applianceId, object, QStringLiteral("Schutzklasse"), ClassName(klasse),
                              ClassName(fromTest.ProtectionClass), reason))
        return false;
      klasse = fromTest.ProtectionClass;
    }
    standard = fromTest.Standard;
    // A report that names no interval keeps the appliance's.
    if (fromTest.IntervalMonths > 0 && fromTest.IntervalMonths != interval) {
      if (!made && !Log(customerId, applianceId, object, QStringLiteral("Prüfintervall"), QStringLiteral("%1 Monate").arg(interval),
               QStringLiteral("%1 Monate").arg(fromTest.IntervalMonths), reason))
        return false;
      interval = fromTest.IntervalMonths;
    }
  }
  const QDate last = latest ? date : lastTest;
  q.prepare(QStringLiteral("UPDATE appliances SET description = ?, maker_type = ?, serial_nr = ?, location = ?, "
                           "protection_class = ?, standard = ?, interval_months = ?, last_test = ?, next_due = ?%1 "
                           "WHERE id = ?")
                .arg(latest ? QStringLiteral(", last_test_id = ?") : QString()));
  for (const QString& text : texts) q.addBindValue(text);
  q.addBindValue(klasse);
  q.addBindValue(standard);
  q.addBindValue(interval);
  q.addBindValue(IsoDate(last));
  // A retired appliance keeps its tests but is due no more.
  q.addBindValue(retired ? QVariant(QMetaType(QMetaType::QString)) : QVariant(IsoDate(last.addMonths(interval))));
  if (latest) q.addBindValue(testId);
  q.addBindValue(applianceId);
  if (!q.exec()) return Fail(q.lastError());
  return !(textChanged || made) || RefreshSearchText(QStringLiteral("id = ?"), applianceId);
}

bool Archive::Log(qint64 customerId, qint64 applianceId, const QString& object, const QString& field,
                  const QString& before, const QString& after, const QString& reason) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(QStringLiteral("INSERT INTO master_changes (changed_at, customer_id, appliance_id, object, field, "
                           "before_text, after_text, reason) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
  q.addBindValue(Clock::Now().toString(Qt::ISODate));
  q.addBindValue(customerId > 0 ? QVariant(customerId) : QVariant(QMetaType(QMetaType::LongLong)));
  q.addBindValue(applianceId > 0 ? QVariant(applianceId) : QVariant(QMetaType(QMetaType::LongLong)));
  q.addBindValue(Storable(object));
  q.addBindValue(Storable(field));
  q.addBindValue(Storable(before));
  q.addBindValue(Storable(after));
  q.addBindValue(Storable(reason));
  if (!q.exec()) return Fail(q.lastError());
  return true;
}

bool Archive::RefreshSearchText(const QString& where, const QVariant& value) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(QStringLiteral("UPDATE appliances SET search_text = %1 WHERE %2").arg(kSearchText, where));
  q.addBindValue(value);
  if (!q.exec()) return Fail(q.lastError());
  return true;
}
