// Whole-store dumps for tests that check a failed write left a store as it
// was: every row of the contacts volume, and the registry's three roots as
// .reg text.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include <handset/device.h>
#include <handset/regfile.h>

namespace handset::testing {

// Every row of every table of pim.vol, read through a connection of its
// own, so that nothing the store caches can hide a change.
inline std::string dumpContactsVolume()
{
    sqlite3* db = nullptr;
    const std::string path = (deviceRoot() / "pim.vol").string();
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "(no volume)";
    }
    std::vector<std::string> tables;
    sqlite3_exec(
        db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name",
        [](void* out, int, char** values, char**) {
            static_cast<std::vector<std::string>*>(out)->push_back(values[0]);
            return 0;
        },
        &tables, nullptr);
    std::string dump;
    for (const std::string& table : tables) {
        dump += "[" + table + "]\n";
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table + "\" ORDER BY 1, 2").c_str(), -1, &stmt, nullptr);
        if (!stmt) {
            // One column only: ORDER BY 2 does not exist.
            sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table + "\" ORDER BY 1").c_str(), -1, &stmt, nullptr);
        }
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            for (int column = 0; column < sqlite3_column_count(stmt); ++column) {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
                dump += std::string(bytes ? bytes : "", sqlite3_column_bytes(stmt, column)) + "|";
            }
            dump += "\n";
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return dump;
}

// The whole registry as the .reg export writes it.
inline std::string dumpRegistry()
{
    std::string dump;
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        const RegExportResult exported = exportRegKey({root, u""});
        dump += exported.ok() ? exported.text : "(" + exported.message + ")\n";
    }
    return dump;
}

}  // namespace handset::testing
