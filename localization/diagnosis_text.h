// The texts of the diagnosis of a search that found nothing, in the four
// languages: per verdict a short line for the not-found page, a summary with the
// concrete values and a fix; and the page's "Why?" link with its box.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "discovery/diagnosis.h"
#include "localization/language.h"
#include "localization/ui_elements.h"

namespace orvandel {

class UiStrings;

// One text per code (the short line) or per code and variant (summary and fix).
enum class DiagnosisTextId {
    kNoAdapter,
    kNoAdapterNone,
    kAdapterSkipped,
    kSendFailed,
    kSendFailedNoLoop,
    kPortBusy,
    kPortBusyUnknown,
    kVpnRoute,
    kRpFilter,
    kFirewallNftables,
    kFirewallUfw,
    kFirewallFirewalld,
    kFirewallCannotTell,
    kFirewallTooLarge,
    kFirewallTooSlow,
    kWirelessIsolation,
    kDroppedByKernel,
    kNotDevices,
    kCount,
};
inline constexpr std::size_t kDiagnosisTextCount =
    static_cast<std::size_t>(DiagnosisTextId::kCount);
inline constexpr std::size_t kVerdictCodeCount = 10;

DiagnosisTextId TextIdOf(const Verdict& verdict);

// The set for one language, held by UiStrings.
struct DiagnosisStrings {
    std::array<std::u16string, kVerdictCodeCount> line;       // by VerdictCode
    std::array<std::u16string, kDiagnosisTextCount> summary;  // by DiagnosisTextId
    std::array<std::u16string, kDiagnosisTextCount> fix;
    std::u16string why_label;  // the link that opens the box with every verdict
    std::u16string box_title;
    // Where the not-found page shows its "Why?" link, and the link's colour.
    UiTextElement area;
};

// The set of one of the four languages; an empty set for any other id.
DiagnosisStrings BuildDiagnosisStrings(LanguageId id);

// The short line of the page for a verdict, in the set's language (no values).
std::u16string DiagnosisLine(const UiStrings& strings, const Verdict& verdict);
// The summary and the fix with the verdict's values filled in (plain text).
std::u16string DiagnosisSummary(const UiStrings& strings, const Verdict& verdict);
std::u16string DiagnosisFix(const UiStrings& strings, const Verdict& verdict);

}  // namespace orvandel
