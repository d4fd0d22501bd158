#include "spawn_control/class_key.h"

std::u16string ClassKeyFromReference(std::u16string_view reference_text) {
  // The reference text ends in two characters that the key leaves out.
  const std::u16string_view kept = reference_text.size() < 2
                                       ? std::u16string_view()
                                       : reference_text.substr(0, reference_text.size() - 2);
  std::u16string key;
  key.reserve(kept.size() + 11);
  key += u"Blueprint'";
  key += kept;
  key += u"'";
  return key;
}
