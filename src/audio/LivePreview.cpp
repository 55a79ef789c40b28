#include "audio/LivePreview.h"

void LivePreview::start(const QString &, bool, bool) {}
void LivePreview::feed(QByteArrayView) {}
void LivePreview::stop() {}
