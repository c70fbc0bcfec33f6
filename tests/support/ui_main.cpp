#include "support/TestEnvironment.h"

#include <QApplication>

#include <gmock/gmock.h>

int main(int argc, char** argv) {
    quenlor::test::prepareTestEnvironment();
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
