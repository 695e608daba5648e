#include <QApplication>

#include <gtest/gtest.h>

#include "FRWAppearance.h"
#include "FRWSymbols.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // The machine's desktop must not decide what a test sees.
    FRWAppearance::setUsesDesktopPortal(false);
    FRWSymbols::setPrefersThemeIcons(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
