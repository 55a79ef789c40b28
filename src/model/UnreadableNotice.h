#pragma once

#include "model/Store.h"

#include <QString>

// What a page says when its collection's file could not be read at start and
// was set aside (the store keeps where it went).
namespace UnreadableNotice {

// "L'historique était illisible : mis de côté dans history.json.illisible-…";
// empty when the collection's file was read.
QString text(const Store *store, Store::Collection collection);

} // namespace UnreadableNotice
