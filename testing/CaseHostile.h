// SPDX-License-Identifier: GPL-3.0-or-later
// Whole files (header line and body) of valid-looking cases made of many minimal
// records: the inputs that show whether a reader's work per record grows with what it
// has read. The tests build them small or past a bound, the benchmarks at every size.
#pragma once

#include <string>

namespace qvtest {

// A case document (newest version) of `gums` gum records without a jaw, ids 1 to gums;
// no jaws, teeth or schemes.
std::string HostileGumsDocument(int gums);
// A dental model (newest version) of `teeth` empty teeth (FDI 11, ordinary state).
std::string HostileTeethModel(int teeth);
// A dental model (newest version) of `gums` empty gums, ids 1 to gums.
std::string HostileGumsModel(int gums);

} // namespace qvtest
