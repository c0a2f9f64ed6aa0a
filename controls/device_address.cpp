#include "controls/device_address.h"

#include <string_view>

#include "discovery/ipv4.h"

namespace orvandel {

namespace {
std::u16string_view Units(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}
}  // namespace

bool IsDottedDecimalIPv4(const QString& text) {
    return ipv4::Parse(Units(text)).has_value();
}

bool IsOpenableDeviceAddress(const QString& text) {
    return ipv4::IsOpenableText(Units(text));
}

}  // namespace orvandel
