#include "NodeHolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <memory>

namespace capture {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

bool sameFile(const struct stat& a, const struct stat& b)
{
    if (S_ISCHR(a.st_mode))
        return S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool holds(const std::string& process, const struct stat& node)
{
    const std::string fds = process + "/fd";
    const DirPtr dir(opendir(fds.c_str()));
    if (!dir)
        return false;  // another user's process, or one that has just ended
    while (const dirent* entry = readdir(dir.get())) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat open{};
        if (stat((fds + "/" + entry->d_name).c_str(), &open) == 0 && sameFile(node, open))
            return true;
    }
    return false;
}

std::string commandName(const std::string& process)
{
    std::ifstream comm(process + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

bool isNumber(const char* text)
{
    if (!*text)
        return false;
    for (; *text; ++text)
        if (!std::isdigit(static_cast<unsigned char>(*text)))
            return false;
    return true;
}

}  // namespace

std::optional<NodeHolder> findNodeHolder(const std::string& path, const std::string& proc)
{
    auto holders = findNodeHolders(path, proc);
    if (holders.empty())
        return std::nullopt;
    return std::move(holders.front());
}

std::vector<NodeHolder> findNodeHolders(const std::string& path, const std::string& proc)
{
    std::vector<NodeHolder> holders;
    struct stat node{};
    if (stat(path.c_str(), &node) != 0)
        return holders;
    const DirPtr processes(opendir(proc.c_str()));
    if (!processes)
        return holders;
    const int self = static_cast<int>(getpid());
    while (const dirent* entry = readdir(processes.get())) {
        if (!isNumber(entry->d_name))
            continue;
        const int pid = std::stoi(entry->d_name);
        const std::string process = proc + "/" + entry->d_name;
        if (pid != self && holds(process, node))
            holders.push_back({commandName(process), pid});
    }
    return holders;
}

}  // namespace capture
