// The texts of the four interface languages and the maker's web addresses. Used by
// UiStrings to build a set; kept apart so the tables can be read without the layout.
#pragma once

#include <string_view>

#include "localization/language.h"

namespace orvandel {

struct LanguageTexts {
    std::u16string_view caption;
    std::u16string_view intro;
    std::u16string_view step1_title;
    std::u16string_view step1_text;
    std::u16string_view step2_title;
    std::u16string_view step2_text;
    std::u16string_view begin_search;
    std::u16string_view search_again;
    std::u16string_view stop;
    std::u16string_view no_internet_title;
    std::u16string_view no_internet_line1;
    std::u16string_view not_found_title;
    std::u16string_view searching_title;
    std::u16string_view menu_language;
    std::u16string_view menu_english;
    std::u16string_view menu_simplified_chinese;
    std::u16string_view menu_traditional_chinese;
    std::u16string_view menu_japanese;
    std::u16string_view menu_about;
    std::u16string_view about_caption;
    std::u16string_view version_prefix;
    std::u16string_view info_text;
    std::u16string_view info_link_label;
    std::u16string_view support_text;
    std::u16string_view support_link_label;
    std::u16string_view ok_label;
    std::u16string_view result_prefix;
    std::u16string_view result_suffix;
    std::u16string_view product_url;
    std::u16string_view support_url;
    // Tooltips of a listed device whose page cannot open, with the placeholders
    // {ip}, {subnet}, {interface}, {count} and {source} (see FillPlaceholders).
    std::u16string_view tip_other_network;     // {ip} {subnet} {interface}
    std::u16string_view tip_link_local;        // {ip} {subnet} {interface}
    std::u16string_view tip_conflict_devices;  // {ip} {count}
    std::u16string_view tip_conflict_own;      // {ip}
    std::u16string_view tip_noted_source;      // {source}; a remark added to the above
    std::u16string_view tip_routed;            // {ip} {subnet} {interface}
    // Names a screen reader announces for the controls that show only an image.
    std::u16string_view accessible_settings;
    std::u16string_view accessible_next;
    std::u16string_view accessible_previous;
    std::u16string_view accessible_device_list;
    // The setting button's tooltip.
    std::u16string_view tip_settings;
    // The "Why?" box when the diagnosis found no cause: that, then what it checked.
    std::u16string_view diagnosis_no_cause;
    std::u16string_view diagnosis_checked;
    // The context menu of a device row.
    std::u16string_view menu_open_device_page;
    std::u16string_view menu_copy_ip;
    std::u16string_view menu_copy_mac;
    std::u16string_view menu_copy_details;
    // A device's details, one "label: value" line per field; the separator goes
    // between label and value.
    std::u16string_view detail_separator;
    std::u16string_view detail_name;
    std::u16string_view detail_model;
    std::u16string_view detail_sub_model;
    std::u16string_view detail_firmware;
    std::u16string_view detail_daily_build;
    std::u16string_view detail_uboot_version;
    std::u16string_view detail_ip;
    std::u16string_view detail_mac;
    std::u16string_view detail_dhcp;
    std::u16string_view detail_mask;
    std::u16string_view detail_gateway;
    std::u16string_view detail_dns;
};

// The texts of one of the four languages; null for any other id.
const LanguageTexts* TextsFor(LanguageId id);

// The two-line legal notice, the same in every language.
inline constexpr std::u16string_view kLegalNotice =
    u"Copyright \u00A9 2019 Kestrilon Corporation.\nAll rights reserved.";

}  // namespace orvandel
