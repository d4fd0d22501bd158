#include "spawn_control/class_key.h"

void ClassKeyFromReference(std::u16string_view reference_text, std::u16string& key) {
  // The reference text ends in two characters that the key leaves out.
  const std::u16string_view kept = reference_text.size() < 2
                                       ? std::u16string_view()
                                       : reference_text.substr(0, reference_text.size() - 2);
  key.assign(u"Blueprint'");
  key += kept;
  key += u"'";
}

std::u16string ClassKeyFromReference(std::u16string_view reference_text) {
  std::u16string key;
  key.reserve(reference_text.size() + 9);
  ClassKeyFromReference(reference_text, key);
  return key;
}
