#include "engine/import/import.h"
#include "support/error.h"
std::vector<std::string> KST_EXPORT_FILE(const KST_SCENE&, const std::string& out, float, const std::string&)
{
    fatal_raise(out + ": export not built yet");
}
