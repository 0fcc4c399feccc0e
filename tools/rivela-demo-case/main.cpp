// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the demo case: rivela-demo-case [--out DIR] [--seed N] [--steps N] [--faces N | --preset 5k|20k|50k] [--32]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/model/QvModel.h"
#include "testing/DemoCase.h"

int main(int argc, char** argv)
{
    std::string out = "demo";
    qvtest::DemoOptions options;
    for (int i = 1; i < argc; ++i)
    {
        const bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--out") && more)
            out = argv[++i];
        else if (!std::strcmp(argv[i], "--seed") && more)
            options.dentition.seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (!std::strcmp(argv[i], "--steps") && more)
            options.steps = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--faces") && more)
            options.dentition.facesPerTooth = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--preset") && more && qvtest::DemoFacesPreset(argv[i + 1]) > 0)
            options.dentition.facesPerTooth = qvtest::DemoFacesPreset(argv[++i]);
        else if (!std::strcmp(argv[i], "--32"))
            options.dentition.thirtyTwo = true;
        else
        {
            std::fprintf(stderr, "usage: %s [--out DIR] [--seed N] [--steps N] [--faces N | --preset 5k|20k|50k] [--32]\n",
                         argv[0]);
            return 2;
        }
    }
    qvtest::DemoCase demo;
    if (!qvtest::BuildDemoCase(demo, options))
    {
        std::fprintf(stderr, "rivela-demo-case: cannot build the case (at least 10 steps)\n");
        return 1;
    }
    std::string error;
    if (!qvtest::WriteDemoFiles(out, demo, options, &error))
    {
        std::fprintf(stderr, "rivela-demo-case: %s\n", error.c_str());
        return 1;
    }
    std::printf("demo case: %s (%zu teeth, %d steps, %zu declared contacts)\n", out.c_str(), demo.model->m_teeth.size(),
                options.steps, demo.contacts.size());
    return 0;
}
