// Finding the desktop program's window on a real X server (Xvfb, started and ended here).
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/desktop_check.h"
#include "app_test_support.h"

namespace {

using kinetra::test::ScopedEnv;

class DesktopWindowOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        ASSERT_FALSE(xvfb.isEmpty()) << "Xvfb is not installed (tools/install-deps.sh test)";
        // A display number of our own, free of other runs.
        for (int n = 90 + static_cast<int>(QCoreApplication::applicationPid() % 50); n < 200; ++n) {
            if (!QFileInfo::exists(QString("/tmp/.X11-unix/X%1").arg(n)) &&
                !QFileInfo::exists(QString("/tmp/.X%1-lock").arg(n))) {
                m_display = n;
                break;
            }
        }
        ASSERT_GT(m_display, 0);
        m_server.start(xvfb, {QString(":%1").arg(m_display), "-screen", "0", "320x240x24",
                              "-nolisten", "tcp"});
        ASSERT_TRUE(m_server.waitForStarted(5000));
        m_displayName = QStringLiteral(":%1").arg(m_display).toStdString();
        for (int i = 0; i < 100 && m_connection == nullptr; ++i) {
            xcb_connection_t* c = xcb_connect(m_displayName.c_str(), nullptr);
            if (xcb_connection_has_error(c) == 0) {
                m_connection = c;
            } else {
                xcb_disconnect(c);
                QThread::msleep(50);
            }
        }
        ASSERT_NE(m_connection, nullptr) << "Xvfb did not come up";
        m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    }

    void TearDown() override {
        if (m_connection != nullptr) xcb_disconnect(m_connection);
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000)) {
                m_server.kill();
                m_server.waitForFinished(5000);
            }
        }
    }

    // A window under parent with WM_CLASS "instance\0windowClass\0" (no class when null).
    xcb_window_t MakeWindow(xcb_window_t parent, const char* windowClass) {
        const xcb_window_t window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, parent, 0, 0, 50, 50, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual, 0, nullptr);
        if (windowClass != nullptr) {
            std::string value = std::string("kinetra-test") + '\0' + windowClass + '\0';
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                                XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(value.size()),
                                value.data());
        }
        xcb_map_window(m_connection, window);
        xcb_flush(m_connection);
        Sync();
        return window;
    }

    // Waits until the server has handled every request sent so far.
    void Sync() {
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    bool Find(const char* windowClass) {
        ScopedEnv display("DISPLAY", m_displayName.c_str());
        return kinetra::app::FindTopLevelWindowOfClass(windowClass);
    }

    QProcess m_server;
    int m_display = 0;
    std::string m_displayName;
    xcb_connection_t* m_connection = nullptr;
    xcb_screen_t* m_screen = nullptr;
};

TEST_F(DesktopWindowOnX11, FindsATopLevelWindowByItsClass) {
    MakeWindow(m_screen->root, "Some Other Program");
    EXPECT_FALSE(Find("Ondrel Desktop Window"));
    MakeWindow(m_screen->root, "Ondrel Desktop Window");
    EXPECT_TRUE(Find("Ondrel Desktop Window"));
    EXPECT_FALSE(Find("Ondrel Desktop"));  // whole class names only
    EXPECT_FALSE(Find("ondrel desktop window"));
}

TEST_F(DesktopWindowOnX11, FindsAClientWindowInsideAWindowManagersFrame) {
    const xcb_window_t frame = MakeWindow(m_screen->root, nullptr);
    MakeWindow(frame, "Ondrel Desktop Window");
    EXPECT_TRUE(Find("Ondrel Desktop Window"));
}

TEST_F(DesktopWindowOnX11, MatchesTheClassNotTheInstanceName) {
    MakeWindow(m_screen->root, "Something");  // instance "kinetra-test"
    EXPECT_FALSE(Find("kinetra-test"));
    EXPECT_TRUE(Find("Something"));
}

TEST(DesktopWindowWithoutServer, AnUnreachableDisplayFindsNothing) {
    ScopedEnv display("DISPLAY", ":199");
    EXPECT_FALSE(kinetra::app::FindTopLevelWindowOfClass("Ondrel Desktop Window"));
}

}  // namespace
