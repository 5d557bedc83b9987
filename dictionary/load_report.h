// Tells the translator once why a dictionary load failed.
//
// A dictionary with a broken entry loads as empty, so nothing gets
// translated; both patchers call ReportLoadFailureOnce after loading
// "chs.txt" so that the composed message (which section marker is missing in
// which entry) reaches the console the first time it happens in a run,
// instead of once per file.
#pragma once

#include "dictionary/brx_string_dict.h"

namespace dictionary {

// If the last load of dict failed on a missing section marker, prints its
// message (GBK) followed by a line feed, the first time in the process only.
void ReportLoadFailureOnce(const BRXStringDict& dict);

// The same with the "already shown" flag held by the caller: prints and sets
// *reported when there is a message and *reported is false. Result: whether
// it printed.
bool ReportLoadFailure(const BRXStringDict& dict, bool* reported);

}  // namespace dictionary
