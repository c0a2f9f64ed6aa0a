#include "tools/cli/cli_diagnosis.h"

#include "localization/diagnosis_text.h"
#include "localization/ui_strings.h"
#include "text/utf.h"
#include "tools/cli/cli_output.h"

namespace orvandel::cli {

std::vector<DiagnosisEntry> DiagnosisEntries(const std::vector<Verdict>& verdicts) {
    // UiStrings starts in English and reads no file.
    const UiStrings english;
    std::vector<DiagnosisEntry> out;
    for (const Verdict& verdict : verdicts) {
        DiagnosisEntry entry;
        entry.code = std::string(VerdictCodeName(verdict.code));
        entry.summary = text::ToUtf8(DiagnosisSummary(english, verdict));
        entry.fix = text::ToUtf8(DiagnosisFix(english, verdict));
        for (const VerdictValue& value : verdict.values) {
            entry.values.emplace_back(value.name, value.value);
        }
        out.push_back(std::move(entry));
    }
    return out;
}

std::string FormatDiagnosisTable(const std::vector<DiagnosisEntry>& entries,
                                 std::size_t devices_found) {
    std::string out = "Devices that answered: " + std::to_string(devices_found) + "\n";
    if (entries.empty()) {
        return out + (devices_found == 0
                          ? "No cause found on this computer's side: the devices may be off, on "
                            "another network, or not answering.\n"
                          : "No fault found on this computer's side.\n");
    }
    for (const DiagnosisEntry& entry : entries) {
        out += EscapeForTerminal(std::string_view(entry.code)) + ": " +
               EscapeForTerminal(std::string_view(entry.summary)) + "\n";
        out += "    fix: " + EscapeForTerminal(std::string_view(entry.fix)) + "\n";
    }
    return out;
}

std::string FirstVerdictLine(const std::vector<DiagnosisEntry>& entries) {
    if (entries.empty()) {
        return {};
    }
    const DiagnosisEntry& first = entries.front();
    return "likely cause (" + EscapeForTerminal(std::string_view(first.code)) +
           "): " + EscapeForTerminal(std::string_view(first.summary)) +
           " ('orvandel-cli --diagnose' says more)";
}

}  // namespace orvandel::cli
