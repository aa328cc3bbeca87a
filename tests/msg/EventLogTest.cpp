#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"

namespace {

// A datagram socket standing in for the system log.
class SystemLog {
public:
    SystemLog() {
        char pattern[] = "/tmp/zavlogXXXXXX";
        directory_ = mkdtemp(pattern);
        path_ = directory_ + "/log";
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, path_.size());
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ZAVPlatformTest_SetEventLogSocket(path_.c_str());
    }
    ~SystemLog() {
        ZAVPlatformTest_SetEventLogSocket(nullptr);
        close(fd_);
        unlink(path_.c_str());
        rmdir(directory_.c_str());
    }
    // The next datagram, or "" when none arrives within a second.
    std::string Next() {
        pollfd wait = {fd_, POLLIN, 0};
        if (poll(&wait, 1, 1000) != 1) return "";
        char buffer[4096];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
    }
    bool Empty() {
        pollfd wait = {fd_, POLLIN, 0};
        return poll(&wait, 1, 50) == 0;
    }

private:
    std::string directory_, path_;
    int fd_ = -1;
};

struct Entry {
    std::string priority, appName, procId, msgId, message;
};

// "<PRI>1 TIMESTAMP HOST APP PROCID MSGID - MSG"
Entry Parse(const std::string& datagram) {
    std::istringstream in(datagram);
    std::string head, stamp, host, dash;
    Entry e;
    in >> head >> stamp >> host >> e.appName >> e.procId >> e.msgId >> dash;
    e.priority = head;
    std::getline(in, e.message);
    if (!e.message.empty() && e.message[0] == ' ') e.message.erase(0, 1);
    return e;
}

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLimit(); }
    void TearDown() override {
        ResetLimit();
        ZAV_MsgDestroyAll(&list_);
    }
    static void ResetLimit() {
        g_LogEntriesCount = 0;
        g_LogEntriesMax = 500;
        g_LogMsgCancelTime = 14400;
        g_FirstLogMsgTime = 0;
    }
    ZAVLinkAnchor list_ = {};
    SystemLog log_;
};

TEST_F(EventLogTest, InsertionsFillTheTemplateAndTheEventIdIsOne) {
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 777, ZAVCatWarning50, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, u"first");
    ZAV_MsgAddInsertion(msg, u"second");
    ZAV_LogEvent(*msg, u"%2 after %1", nullptr);
    const Entry e = Parse(log_.Next());
    EXPECT_EQ(e.priority, "<12>1");  // user facility, warning
    EXPECT_EQ(e.appName, "ZAVMsg");
    EXPECT_EQ(e.procId, std::to_string(getpid()));
    EXPECT_EQ(e.msgId, "1");
    EXPECT_EQ(e.message, "second after first");
    EXPECT_EQ(g_LogEntriesCount, 1);
    EXPECT_EQ(msg->InsertionBytes, 28u);  // the record is only read
}

TEST_F(EventLogTest, CategoriesAndSources) {
    struct Case {
        ZAVMsgCategory category;
        const char16_t* source;
        const char *priority, *appName;
    };
    const Case cases[] = {{ZAVCatInfo6, nullptr, "<14>1", "ZAVMsg"},
                          {ZAVCatInfo30, u"", "<14>1", "ZAVMsg"},
                          {static_cast<ZAVMsgCategory>(40), u"MyAgent", "<11>1", "MyAgent"},
                          {ZAVCatError90, u"MyAgent", "<11>1", "MyAgent"}};
    for (const Case& c : cases) {
        ZAV_LogEvent(c.category, u"text \u00e9", 99, c.source);
        const Entry e = Parse(log_.Next());
        EXPECT_EQ(e.priority, c.priority);
        EXPECT_EQ(e.appName, c.appName);
        EXPECT_EQ(e.message, "text \xc3\xa9");
    }
    EXPECT_EQ(g_LogEntriesCount, 4);
}

TEST_F(EventLogTest, NothingToFormatOrNoSourceMeansNothingCounted) {
    ZAV_LogEvent(ZAVCatInfo10, u"", 1, nullptr);
    ZAV_LogEvent(ZAVCatInfo10, nullptr, 1, nullptr);  // no message tables
    ZAV_LogEvent(ZAVCatInfo10, u"%1", 1, nullptr);   // an insert without insertions
    ZAVPlatformTest_FailRegisterEventSource(TRUE);
    ZAV_LogEvent(ZAVCatInfo10, u"lost", 1, nullptr);
    ZAVPlatformTest_FailRegisterEventSource(FALSE);
    EXPECT_EQ(g_LogEntriesCount, 0);
    EXPECT_TRUE(log_.Empty());

    // A first insertion that is empty leaves only nulls in the argument array.
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 1, ZAVCatInfo10, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, u"");
    ZAV_MsgAddInsertion(msg, u"unseen");
    ZAV_LogEvent(*msg, u"[%1]", nullptr);
    EXPECT_EQ(Parse(log_.Next()).message, "[(null)]");
}

TEST_F(EventLogTest, ZeroWindowStartsANewOneInsteadOfEnding) {
    g_LogEntriesMax = 2;
    g_LogMsgCancelTime = 0;
    for (int i = 1; i <= 3; ++i) ZAV_LogEvent(ZAVCatInfo10, (u"entry " + std::u16string(1, u'0' + i)).c_str(), 1, nullptr);
    EXPECT_EQ(Parse(log_.Next()).message, "entry 1");
    EXPECT_EQ(Parse(log_.Next()).message, "entry 2");
    EXPECT_EQ(Parse(log_.Next()).message, "entry 3");
    EXPECT_EQ(g_LogEntriesCount, 1);
}

TEST_F(EventLogTest, FloodLimitEndsTheProcessWith112) {
    GTEST_FLAG_SET(death_test_style, "fast");  // the child must send to this test's socket
    g_LogEntriesMax = 2;
    EXPECT_EXIT(
        {
            for (int i = 0; i < 3; ++i) ZAV_LogEvent(ZAVCatError70, u"flood", 1, nullptr);
            _exit(0);
        },
        ::testing::ExitedWithCode(112), "");
    EXPECT_EQ(Parse(log_.Next()).message, "flood");
    EXPECT_EQ(Parse(log_.Next()).message, "flood");
    EXPECT_EQ(Parse(log_.Next()).message, "**** Process terminated due to too many error messages. ****");
    EXPECT_TRUE(log_.Empty());
}

// The program's folder, as the text log finds it from the command line.
std::string ProgramFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string program(path, n > 0 ? static_cast<size_t>(n) : 0);
    return program.substr(0, program.rfind('/'));
}

TEST(TextEventLog, LinesBesideTheProgramOutsideTheNtFamily) {
    const std::string file = ProgramFolder() + "/EventLog.txt";
    unlink(file.c_str());
    // A fresh process: the platform family is read once per process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
            ZAVLinkAnchor list = {};
            ZAVMsg* msg = ZAV_MsgCreate(&list, 5, ZAVCatError70, 0, 0, 0, 0, nullptr);
            ZAV_MsgAddInsertion(msg, u"abc");
            ZAV_LogEvent(*msg, u"wide %1!S!", nullptr);
            ZAV_LogEvent(*msg, u"narrow %1", nullptr);  // !s! is narrow in the ANSI form
            // While another opening holds the log for writing, an entry is lost and not counted.
            HANDLE holder = CreateFileA(file.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
            ZAV_LogEvent(ZAVCatInfo10, u"refused", 1, nullptr);
            CloseHandle(holder);
            _exit(g_LogEntriesCount == 2 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::regex line("[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} ");
    ASSERT_EQ(text.size(), 2 * 25 + std::string("wide abc\r\nnarrow a\r\n").size()) << text;
    EXPECT_TRUE(std::regex_match(text.substr(0, 25), line)) << text;
    EXPECT_EQ(text.substr(25, 10), "wide abc\r\n");
    EXPECT_TRUE(std::regex_match(text.substr(35, 25), line)) << text;
    EXPECT_EQ(text.substr(60), "narrow a\r\n");
    unlink(file.c_str());
}

}  // namespace
