#pragma once

// The class key that names a creature class, formed from the class's reference text. Kept apart
// from the count table so that `kestrovar check` forms keys by the very same rule.

#include <string>
#include <string_view>

// "Blueprint'" + the reference text less its last two characters + "'".
std::u16string ClassKeyFromReference(std::u16string_view reference_text);
// The same into `key`, whose storage is reused.
void ClassKeyFromReference(std::u16string_view reference_text, std::u16string& key);
