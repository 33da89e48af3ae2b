#pragma once
// Every stored setting back at its default: the settings are process-wide
// objects, and the tests of one program may share one process.

#include "foundation/settings.hpp"

namespace testsupport {

inline void resetStoredSettings()
{
    const tzo::ParameterLists& lists = gf_storedSettings();
    for (auto* p : lists.booleans)
        p->setValue(p->defaultValue());
    for (auto* p : lists.checkBoxes)
        p->setValue(p->defaultValue());
    for (auto* p : lists.integers)
        p->setValue(p->defaultValue());
    for (auto* p : lists.intFields)
        p->setValue(p->defaultValue());
    for (auto* p : lists.strings)
        p->setValue(p->defaultValue());
    for (auto* p : lists.stringFields)
        p->setValue(p->defaultValue());
}

} // namespace testsupport
