#include <cstring>
#include <utility>

#include "host/engine_memory.h"
#include "host/engine_types.h"

namespace {

char16_t NarrowUnit(char byte) {
  const auto unit = static_cast<unsigned char>(byte);
  return unit < 0x80 ? static_cast<char16_t>(unit) : u'?';
}

}  // namespace

FString::FString(std::string_view narrow) { AppendNarrow(narrow); }

FString::FString(const FString& other) { AppendUnits(other.View()); }

FString::FString(FString&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      num_(std::exchange(other.num_, 0)),
      max_(std::exchange(other.max_, 0)) {}

FString& FString::operator=(const FString& other) {
  if (this != &other) {
    FString copy(other);
    *this = std::move(copy);
  }
  return *this;
}

FString& FString::operator=(FString&& other) noexcept {
  if (this != &other) {
    if (data_ != nullptr) engine_memory::Free(data_);
    data_ = std::exchange(other.data_, nullptr);
    num_ = std::exchange(other.num_, 0);
    max_ = std::exchange(other.max_, 0);
  }
  return *this;
}

FString::~FString() {
  if (data_ != nullptr) engine_memory::Free(data_);
}

void FString::Reserve(int32_t units) {
  if (units <= max_) return;
  // Appending to a string that already has storage takes slack, so that a text built line by line
  // costs linear time.
  if (data_ != nullptr) units = engine_memory::GrownCapacity(max_, units);
  const std::size_t bytes = sizeof(char16_t) * static_cast<std::size_t>(units);
  void* grown =
      data_ == nullptr ? engine_memory::Malloc(bytes) : engine_memory::Realloc(data_, bytes);
  data_ = static_cast<char16_t*>(grown);
  max_ = units;
}

void FString::AppendNarrow(std::string_view narrow) {
  if (narrow.empty()) return;
  const int32_t length = static_cast<int32_t>(View().size());
  Reserve(length + static_cast<int32_t>(narrow.size()) + 1);
  for (std::size_t i = 0; i < narrow.size(); ++i) data_[length + i] = NarrowUnit(narrow[i]);
  num_ = length + static_cast<int32_t>(narrow.size()) + 1;
  data_[num_ - 1] = u'\0';
}

void FString::AppendUnits(std::u16string_view units) {
  if (units.empty()) return;
  const int32_t length = static_cast<int32_t>(View().size());
  Reserve(length + static_cast<int32_t>(units.size()) + 1);
  if (!units.empty()) std::memcpy(data_ + length, units.data(), units.size() * sizeof(char16_t));
  num_ = length + static_cast<int32_t>(units.size()) + 1;
  data_[num_ - 1] = u'\0';
}

std::u16string_view FString::View() const {
  if (data_ == nullptr || num_ <= 1) return {};
  return {data_, static_cast<std::size_t>(num_ - 1)};
}
