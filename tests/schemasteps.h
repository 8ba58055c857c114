#pragma once
// An archive put back to an older schema, as an older program left it: the
// statements that take the master data step (customers' and appliances'
// master data, the change log, the search's indexes) back out again. The
// schema version is then set by the caller.
#include <QString>
#include <QStringList>

namespace SchemaSteps {

inline QStringList UndoMasterData(bool postgres) {
  QStringList sql;
  if (!postgres)
    sql << QStringLiteral("DROP TRIGGER IF EXISTS appliance_search_insert")
        << QStringLiteral("DROP TRIGGER IF EXISTS appliance_search_delete")
        << QStringLiteral("DROP TRIGGER IF EXISTS appliance_search_update")
        << QStringLiteral("DROP TABLE IF EXISTS appliance_search");
  sql << QStringLiteral("DROP TABLE customer_sites") << QStringLiteral("DROP TABLE master_changes")
      << QStringLiteral("DROP INDEX appliances_number") << QStringLiteral("DROP INDEX appliances_customer_number")
      << QStringLiteral("DROP INDEX appliances_merged");
  if (postgres)
    sql << QStringLiteral("DROP INDEX appliances_due_id") << QStringLiteral("DROP INDEX IF EXISTS appliances_search");
  for (const char* column : {"city", "phone", "fax", "contact", "email", "merged_into"})
    sql << QStringLiteral("ALTER TABLE customers DROP COLUMN %1").arg(QLatin1String(column));
  for (const char* column : {"serial_nr", "standard", "retired_on", "retired_reason", "merged_into", "last_test_id",
                             "inventar_key", "search_text"})
    sql << QStringLiteral("ALTER TABLE appliances DROP COLUMN %1").arg(QLatin1String(column));
  return sql;
}

}  // namespace SchemaSteps
