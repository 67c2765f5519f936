#pragma once

#include "ProxyEntry.h"

#include <QString>

#include <optional>

// The five labelled lines the details window shows, joined by CR LF with none after the
// last; the fields exactly as the table holds them. Empty when no row is selected.
QString SelectedProxyText(const std::optional<ProxyEntry>& entry);
