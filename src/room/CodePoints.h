#pragma once

// Whether a character set between quotes in a message reads as itself.
// False for controls, for marks that would combine with the quote before
// them, for invisible and format characters (direction controls, joiners, a
// soft hyphen) and for spaces other than the plain one: a message names
// those by their code point alone, since shown raw they would hide, reorder
// or reshape the words around them.
bool readsOnItsOwn(char32_t code);
