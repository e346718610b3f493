#pragma once
// The pages of the client, each with its registration: name, title, the right that gates it,
// its place in the toolbar block and the menus, and how it is made. The main window offers
// exactly these.
#include <vector>

#include "widgets/page.h"

namespace ocv {

const std::vector<PageInfo>& ClientPages();
const PageInfo* FindClientPage(const QString& name);

}  // namespace ocv
