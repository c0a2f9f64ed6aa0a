// The command-line finder's diagnosis: the verdicts of a search in English, as a
// table for people, as JSON entries, and as the one line a plain search that
// found nothing adds to its message.
#pragma once

#include <string>
#include <vector>

#include "discovery/diagnosis.h"
#include "tools/cli/cli_json.h"

namespace orvandel::cli {

// code, summary and fix of each verdict, values filled in (English).
std::vector<DiagnosisEntry> DiagnosisEntries(const std::vector<Verdict>& verdicts);

// A line with the number of devices that answered, then one block per verdict:
// "code: summary" and an indented "fix: ..." line; without verdicts, a line saying
// no cause was found on this computer's side. Escaped for a terminal.
std::string FormatDiagnosisTable(const std::vector<DiagnosisEntry>& entries,
                                 std::size_t devices_found);

// "likely cause (code): summary" for stderr; empty without verdicts.
std::string FirstVerdictLine(const std::vector<DiagnosisEntry>& entries);

}  // namespace orvandel::cli
