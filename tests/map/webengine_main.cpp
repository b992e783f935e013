// The web engine wants shared graphics contexts before the application object exists.
#include <gtest/gtest.h>
#include <QApplication>

#if defined(__SANITIZE_ADDRESS__)
// The engine's own code (Chromium, not instrumented) deletes objects through a pointer
// of another size; AddressSanitizer would stop the test there, in code that is not ours.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
