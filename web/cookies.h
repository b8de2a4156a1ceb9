// Cookie texts, and the merge of the cookies a request sent with those its
// response set.
//
// A cookie text is entries separated by "; ". An entry is a name, "=" and a
// value (which may hold "=" itself); the name is everything before the first
// "=", trimmed, or the whole entry when it has no "=". Names compare byte for
// byte. An entry ending in "=deleted" stands for a cookie the server deleted.
#pragma once

#include "text/values.h"

namespace lorvane {

// The name of one entry: the trimmed text before its first "=", or the whole
// entry trimmed when it has none.
Text cookie_name(const Text& cookie);

// Whether the cookie_name() of some member equals `name` exactly (`name` is
// not trimmed); false for an empty list.
bool has_cookie_name(const TextList& cookies, const Text& name);

// The cookies the server set (`received`) followed by every sent cookie whose
// name the server did not set (only the first of each name), without deleted
// cookies and exact repetitions. All spaces are removed first, values
// included, and both texts are split at ";".
// On return `sent` holds the merged text as well, and `received` the received
// text without spaces. Runs in time linear in the number of entries, apart
// from join_unique's own scan.
Text merge_cookies(Text& sent, Text& received);

}  // namespace lorvane
