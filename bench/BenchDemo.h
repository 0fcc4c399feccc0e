// SPDX-License-Identifier: GPL-3.0-or-later
// The demo case written into a folder for the design-window benchmarks.
#pragma once

#include "core/design/QvAttachGeoMgr.h"
#include "testing/DemoCase.h"

#include <QString>

#include <stdexcept>
#include <string>

namespace bench {

// Writes the demo case's files at the given crown size, then drops what building it
// left in the attachment library so that the document reads its own.
inline void WriteDemoCaseFiles(const QString& folder, int facesPerTooth)
{
    qvtest::DemoOptions options;
    options.dentition.facesPerTooth = facesPerTooth;
    qvtest::DemoCase demo;
    std::string error;
    if (!qvtest::BuildDemoCase(demo, options) || !qvtest::WriteDemoFiles(folder.toStdString(), demo, options, &error))
        throw std::runtime_error("cannot write the demo case: " + error);
    demo = {};
    QvAttachGeoMgr::Clear(QvAttachGeoMgr::Instance());
}

} // namespace bench
