// The "meta" header of the program's XML data files (airport files, the
// livery scan result): who wrote the file, with which version and when.

#include "foundation/log.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "foundation/version.hpp"

#include <ctime>
#include <string>

namespace {

bool lf_appendInfo(pugi::xml_node meta, const char* name, const std::string& value)
{
    pugi::xml_node info = meta.append_child("info");
    if (!info)
        return false;
    pugi::xml_attribute n = info.append_attribute("name");
    pugi::xml_attribute v = info.append_attribute("value");
    return n && v && n.set_value(name) && v.set_value(value.c_str());
}

} // namespace

bool gf_writeMetaInfo(pugi::xml_node node)
{
    pugi::xml_node meta = node.append_child("meta");
    if (!meta)
        return false;
    bool ok = lf_appendInfo(meta, "author", std::string(kProgramName));
    ok = lf_appendInfo(meta, "version", gf_versionToString(gf_programVersion())) && ok;
    ok = lf_appendInfo(meta, "date", lf_currentDateText()) && ok;
    ok = lf_appendInfo(meta, "copyright", copyright.value()) && ok;
    return ok;
}

bool gf_checkMetaInfo(const pugi::xml_node& doc)
{
    if (author.loadMeta(doc) && date.loadMeta(doc) && version.loadMeta(doc))
        return true;
    gf_logLineMarked("meta data incorrect?");
    return false;
}
