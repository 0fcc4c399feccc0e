// SPDX-License-Identifier: GPL-3.0-or-later
// The case-list page of the stand-in: a list of cases with buttons that send the
// page's script messages and prompt commands, page functions that record every call
// (window.rivelaCalls and the "calls" list), and a file the web view cannot show.
#pragma once

#include <string>

namespace standin {

// caseListJson: a JSON list of {"function", "kind", "oneFormJson"}; domain: the
// business domain the page's addresses start with.
std::string PortalPage(const std::string& caseListJson, const std::string& domain);

} // namespace standin
