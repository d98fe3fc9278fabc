#include "core/phone_numbers.h"

#include <phonenumbers/geocoding/phonenumber_offline_geocoder.h>
#include <phonenumbers/phonenumberutil.h>
#include <unicode/locid.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <set>

#include "core/gbk.h"

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberOfflineGeocoder;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

// More digits than any number has: such a value is kept as written without asking the
// library (which refuses long input anyway).
constexpr std::size_t kMaxDigits = 20;
// Blank-separated groups one number may be written in ("0571 8765 4321 808").
constexpr std::size_t kMaxGroups = 4;

std::size_t DigitCount(std::string_view s) {
  return static_cast<std::size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }));
}

// Separators between numbers in a cell (GBK).
bool IsSeparatorAt(std::string_view s, std::size_t i, std::size_t len) {
  if (len == 1) return std::string_view(";,/|\\\r\n").find(s[i]) != std::string_view::npos;
  static const std::array<std::string, 5> wide = {GBK("；"), GBK("，"), GBK("、"), GBK("／"),
                                                  GBK("或")};
  const std::string_view c = s.substr(i, len);
  return std::find(wide.begin(), wide.end(), c) != wide.end();
}

bool IsBlankAt(std::string_view s, std::size_t i, std::size_t len) {
  if (len == 1) return gbk::IsBlankByte(static_cast<unsigned char>(s[i]));
  return s.substr(i, len) == GBK("　");
}

// Byte ranges [first, last) of the parts of `s` between separators, skipping empty ones.
template <typename IsSep>
std::vector<std::pair<std::size_t, std::size_t>> Split(std::string_view s, IsSep isSep) {
  std::vector<std::pair<std::size_t, std::size_t>> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = gbk::CharLen(s, i);
    if (isSep(s, i, len)) {
      if (i > start) parts.emplace_back(start, i);
      start = i + len;
    }
    i += len;
  }
  if (s.size() > start) parts.emplace_back(start, s.size());
  return parts;
}

template <typename List>
bool StartsWithAny(std::string_view s, const List& heads, std::string_view& found) {
  for (std::string_view h : heads)
    if (s.starts_with(h)) {
      found = h;
      return true;
    }
  return false;
}

// Regions of China whose names carry no "省" in the geocoder's texts.
constexpr std::array<std::string_view, 5> kRegions = {"内蒙古", "广西", "西藏", "宁夏", "新疆"};
constexpr std::array<std::string_view, 4> kCities = {"北京", "上海", "天津", "重庆"};

// "浙江省杭州市" -> "杭州市" for a landline; "江苏省" for a mobile.
std::string PlaceOf(std::string_view utf8, TPhoneKind kind) {
  std::string_view head;
  const std::size_t province = utf8.find("省");
  if (kind == TPhoneKind::FixedLine) {
    if (province != std::string_view::npos && province + 3 < utf8.size())
      return std::string(utf8.substr(province + 3));
    if (StartsWithAny(utf8, kRegions, head) && head.size() < utf8.size())
      return std::string(utf8.substr(head.size()));
    return std::string(utf8);
  }
  if (province != std::string_view::npos) return std::string(utf8.substr(0, province + 3));
  if (StartsWithAny(utf8, kCities, head)) return std::string(head) + "市";
  if (StartsWithAny(utf8, kRegions, head)) return std::string(head);
  return std::string(utf8);
}

void AddDistinct(std::string& joined, std::vector<std::string>& seen, const std::string& value) {
  if (value.empty() || std::find(seen.begin(), seen.end(), value) != seen.end()) return;
  seen.push_back(value);
  if (!joined.empty()) joined += GBK("、");
  joined += value;
}

}  // namespace

struct TPhoneNumbers::TImpl {
  const PhoneNumberUtil& Util = *PhoneNumberUtil::GetInstance();
  PhoneNumberOfflineGeocoder Geocoder;
  icu::Locale Chinese{"zh", "CN"};

  struct TParsed {
    PhoneNumber Number;
    PhoneNumberUtil::PhoneNumberType Type;
  };

  // A valid number from one written value, or nothing. The number's type is also the
  // validity test (UNKNOWN: not a number of its region), which saves a second look-up.
  std::optional<TParsed> Parse(std::string_view gbkValue, const std::string& region) const {
    const std::size_t digits = DigitCount(gbkValue);
    if (digits < 3 || digits > kMaxDigits) return std::nullopt;
    std::string utf8 = gbk::ToUtf8(gbkValue);
    // Extensions written the Chinese way.
    for (const char* word : {"转", "分机"}) {
      for (std::size_t at = utf8.find(word); at != std::string::npos; at = utf8.find(word, at))
        utf8.replace(at, std::string_view(word).size(), " ext. ");
    }
    TParsed parsed;
    if (Util.Parse(utf8, region, &parsed.Number) != PhoneNumberUtil::NO_PARSING_ERROR)
      return std::nullopt;
    parsed.Type = Util.GetNumberType(parsed.Number);
    if (parsed.Type == PhoneNumberUtil::UNKNOWN) return std::nullopt;
    return parsed;
  }

  TPhoneNumber Describe(std::string written, const TParsed& parsed) const {
    TPhoneNumber out;
    out.Written = std::move(written);
    Util.Format(parsed.Number, PhoneNumberUtil::E164, &out.E164);
    switch (parsed.Type) {
      case PhoneNumberUtil::MOBILE:
        out.Kind = TPhoneKind::Mobile;
        break;
      case PhoneNumberUtil::FIXED_LINE:
        out.Kind = TPhoneKind::FixedLine;
        break;
      case PhoneNumberUtil::TOLL_FREE:
      case PhoneNumberUtil::SHARED_COST:
        out.Kind = TPhoneKind::TollFree;
        break;
      default:
        out.Kind = TPhoneKind::Other;
        break;
    }
    if (out.Kind == TPhoneKind::Mobile || out.Kind == TPhoneKind::FixedLine) {
      // Known valid: the geocoder need not test it again.
      const std::string place = Geocoder.GetDescriptionForValidNumber(parsed.Number, Chinese);
      if (!place.empty()) {
        out.Place = parsed.Number.country_code() == 86 ? PlaceOf(place, out.Kind) : place;
        out.Place = gbk::FromUtf8(out.Place);
      }
    }
    return out;
  }
};

TPhoneNumbers::TPhoneNumbers(std::string_view region) : impl_(std::make_unique<TImpl>()) {
  std::string code(gbk::Trim(region));
  std::transform(code.begin(), code.end(), code.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  std::set<std::string> known;
  impl_->Util.GetSupportedRegions(&known);
  region_ = known.contains(code) ? code : "CN";
}

TPhoneNumbers::~TPhoneNumbers() = default;

std::vector<TPhoneNumber> TPhoneNumbers::ReadCell(std::string_view gbkCell,
                                                  std::string_view areaCode) const {
  std::vector<TPhoneNumber> out;
  using TParsed = TImpl::TParsed;
  auto tryLocal = [&](std::string_view written) -> std::optional<TParsed> {
    // A landline written without its area code: seven or eight digits, dashes aside.
    if (areaCode.empty()) return std::nullopt;
    std::string digits;
    for (char c : written) {
      if (c >= '0' && c <= '9')
        digits += c;
      else if (c != '-' && c != ' ')
        return std::nullopt;
    }
    if (digits.size() < 7 || digits.size() > 8) return std::nullopt;
    auto number = impl_->Parse("0" + std::string(areaCode) + digits, region_);
    if (number && number->Type != PhoneNumberUtil::FIXED_LINE) return std::nullopt;
    return number;
  };
  auto read = [&](std::string_view written) -> std::optional<TParsed> {
    auto number = impl_->Parse(written, region_);
    return number ? number : tryLocal(written);
  };
  auto keep = [&](std::string_view written) {
    TPhoneNumber unchecked;
    unchecked.Written = std::string(written);
    out.push_back(std::move(unchecked));
  };

  for (const auto& [first, last] : Split(gbkCell, IsSeparatorAt)) {
    const std::string_view segment = gbk::TrimView(gbkCell.substr(first, last - first));
    if (segment.empty()) continue;
    if (auto number = read(segment)) {
      out.push_back(impl_->Describe(std::string(segment), *number));
      continue;
    }
    // Several numbers side by side, or one written in groups: the longest run of at most
    // kMaxGroups groups that reads as a number is taken; what does not read stays together.
    const auto groups = Split(segment, IsBlankAt);
    if (groups.size() < 2) {
      keep(segment);
      continue;
    }
    std::size_t pendingFrom = std::string_view::npos;
    auto flush = [&](std::size_t until) {
      if (pendingFrom == std::string_view::npos) return;
      keep(gbk::TrimView(segment.substr(pendingFrom, until - pendingFrom)));
      pendingFrom = std::string_view::npos;
    };
    for (std::size_t g = 0; g < groups.size();) {
      std::size_t taken = 0;
      for (std::size_t n = std::min(kMaxGroups, groups.size() - g); n > 0 && !taken; --n) {
        const std::string_view written =
            segment.substr(groups[g].first, groups[g + n - 1].second - groups[g].first);
        if (auto number = read(written)) {
          flush(groups[g].first);
          out.push_back(impl_->Describe(std::string(written), *number));
          taken = n;
        }
      }
      if (!taken) {
        if (pendingFrom == std::string_view::npos) pendingFrom = groups[g].first;
        taken = 1;
      }
      g += taken;
    }
    flush(segment.size());
  }
  return out;
}

std::string TPhoneNumbers::AreaCode(const TPhoneNumber& number) const {
  if (number.Kind != TPhoneKind::FixedLine || number.E164.empty()) return {};
  PhoneNumber parsed;
  if (impl_->Util.Parse(number.E164, region_, &parsed) != PhoneNumberUtil::NO_PARSING_ERROR)
    return {};
  const int length = impl_->Util.GetLengthOfGeographicalAreaCode(parsed);
  if (length <= 0) return {};
  std::string national;
  impl_->Util.GetNationalSignificantNumber(parsed, &national);
  return national.substr(0, static_cast<std::size_t>(length));
}

void TPhoneNumbers::ReadRecord(std::string_view telephone, std::string_view fax,
                               std::vector<TPhoneNumber>& telephones,
                               std::vector<TPhoneNumber>& faxes) const {
  telephones = ReadCell(telephone);
  faxes = ReadCell(fax);
  auto unchecked = [](const TPhoneNumber& n) { return n.Kind == TPhoneKind::Unchecked; };
  if (std::none_of(telephones.begin(), telephones.end(), unchecked) &&
      std::none_of(faxes.begin(), faxes.end(), unchecked))
    return;
  std::string code;
  for (const auto* list : {&telephones, &faxes})
    for (const TPhoneNumber& n : *list)
      if (code.empty()) code = AreaCode(n);
  if (code.empty()) return;
  telephones = ReadCell(telephone, code);
  faxes = ReadCell(fax, code);
}

const std::string& PhoneKindText(TPhoneKind kind) {
  switch (kind) {
    case TPhoneKind::Mobile:
      return GBK("手机");
    case TPhoneKind::FixedLine:
      return GBK("固话");
    case TPhoneKind::TollFree:
      return GBK("400/800");
    case TPhoneKind::Other:
      return GBK("其他");
    case TPhoneKind::Unchecked:
      break;
  }
  return GBK("未核验");
}

TPhoneColumns PhoneColumns(const TPhoneNumbers& phones, std::string_view telephone,
                           std::string_view fax) {
  TPhoneColumns out;
  if (gbk::IsBlank(telephone) && gbk::IsBlank(fax)) return out;
  std::vector<TPhoneNumber> telephones = phones.ReadCell(telephone), faxes;
  // The fax is read only when it can add something: an area code or the only place.
  const bool complete =
      std::none_of(telephones.begin(), telephones.end(),
                   [](const auto& n) { return n.Kind == TPhoneKind::Unchecked; }) &&
      std::any_of(telephones.begin(), telephones.end(),
                  [](const auto& n) { return !n.Place.empty(); });
  if (!complete) phones.ReadRecord(telephone, fax, telephones, faxes);
  std::vector<std::string> kinds, places;
  for (const TPhoneNumber& n : telephones) {
    AddDistinct(out.Kind, kinds, PhoneKindText(n.Kind));
    AddDistinct(out.Place, places, n.Place);
  }
  if (out.Place.empty())
    for (const TPhoneNumber& n : faxes) AddDistinct(out.Place, places, n.Place);
  return out;
}
