#include "sfx_path.h"

#include <vector>

std::string sfxLexicalFullPath(const std::string& currentDirectory, const std::string& path) {
    const std::string joined =
        (!path.empty() && path[0] == '/') ? path : currentDirectory + "/" + path;

    std::vector<std::string> components;
    std::string::size_type start = 0;
    while (start <= joined.size()) {
        std::string::size_type end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        const std::string component = joined.substr(start, end - start);
        if (component == "..") {
            if (!components.empty()) components.pop_back();
        } else if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        start = end + 1;
    }

    std::string full;
    for (const std::string& component : components) full += "/" + component;
    const bool trailing = !path.empty() && path.back() == '/';
    if (full.empty() || trailing) full += "/";
    return full;
}
