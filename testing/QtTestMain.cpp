// SPDX-License-Identifier: GPL-3.0-or-later
// The main of every application test program: one QApplication for all tests.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Rivela");
    QApplication::setApplicationName("Rivela");
    return RUN_ALL_TESTS();
}
