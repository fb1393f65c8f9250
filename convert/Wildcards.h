#pragma once

#include <string>
#include <vector>

namespace sodrel::convert {

// Expands `*` and `?` in the last part of each word that is not an option into the names that
// match it (letters compared without case, as Windows names are), sorted; a word matching
// nothing stays as it is, to be reported as a missing file. For Windows, whose shells leave
// wildcards to the program; both / and \ separate folders.
std::vector<std::string> ExpandWildcards(const std::vector<std::string>& words);

}  // namespace sodrel::convert
