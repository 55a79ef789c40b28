#include "dictation/DictationData.h"

#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"

OmbryAI::Access DictationData::access() const
{
    return OmbryAI::Access{settings, keys, store, stop};
}
