#pragma once

#include <QString>

namespace WebAddress {

// An absolute http or https URL with a host: what a site's address, a feed or a request's
// target must be.
bool isValid(const QString& text);

} // namespace WebAddress
