#pragma once
// Product-wide constants, kept in one place.

#include <string_view>

namespace tabrivo {

inline constexpr std::string_view kProductName = "Tabrivo";
inline constexpr std::string_view kSupportEmail = "support@tabrivo.org";
inline constexpr std::string_view kHomePageUrl = "https://tabrivo.org/";

}  // namespace tabrivo
