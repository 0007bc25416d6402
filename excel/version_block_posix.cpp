// The version block of qvl.xll on POSIX, which has no version resources (version.rc.in is the
// Windows one): the same values, compiled in from the header the build writes, and handed to the
// platform layer while the library loads.

#include "excel/build_stamp.hpp"
#include "xll/platform.hpp"

namespace {

using xll::platform::VersionString;

constexpr VersionString strings[] = {
    {u"FileDescription", "QVL Excel Addin"},
    {u"ProductName", "QVL Excel Addin"},
    {u"InternalName", "qvl.xll"},
    {u"OriginalFilename", "qvl.xll"},
    {u"FileVersion", QVL_VERSION_TEXT},
    {u"ProductVersion", QVL_VERSION_TEXT},
    {u"Comments", "Built on " QVL_BUILD_TIME},
};

constexpr xll::platform::VersionBlock block{
    {(QVL_VERSION_MAJOR << 16) | QVL_VERSION_MINOR, (QVL_VERSION_PATCH << 16) | QVL_VERSION_TWEAK},
    strings};

const bool handed_over = [] {
    xll::platform::use_version_block(&block);
    return true;
}();

}  // namespace
