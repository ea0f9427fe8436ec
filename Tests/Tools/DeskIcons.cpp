// Prints the Desktop icon layout as this session's icon manager keeps it, or the error that kept it
// from being read. Usage:
//   desk-icons [--source auto|desktop-icons|nemo|caja|xfdesktop|pcmanfm|file] [--desktop DIR] [--config DIR]
//              [--workarea WxH]
#include <cstdio>
#include <cstring>
#include <string>

#include "Finder/FinderIcons.h"
#include "Finder/GvfsIconSource.h"
#include "Finder/KeyFileIconSource.h"
#include "Finder/LayoutFileSource.h"
#include "Finder/SessionIcons.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: desk-icons [--source auto|desktop-icons|nemo|caja|xfdesktop|pcmanfm|file] "
                         "[--desktop DIR] [--config DIR] [--workarea WxH]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string kind = "auto";
    SessionIcons::Session session = SessionIcons::current();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return usage();
        if (arg == "--source") kind = argv[++i];
        else if (arg == "--desktop") session.desktop = argv[++i];
        else if (arg == "--config") session.configHome = argv[++i];
        else if (arg == "--workarea") {
            double w = 0, h = 0;
            if (std::sscanf(argv[++i], "%lfx%lf", &w, &h) != 2) return usage();
            session.workarea = {w, h};
        }
        else return usage();
    }

    std::shared_ptr<IconLayoutSource> source;
    const GvfsIconSource::Options gvfs{session.desktop, session.configHome, 0, {{0, 0}}, std::nullopt};
    const KeyFileIconSource::Options keys{session.configHome, "", {{0, 0}}, session.desktop, session.workarea};
    if (kind == "auto") source = SessionIcons::choose(session);
    else if (kind == "desktop-icons") source = std::make_shared<GvfsIconSource>(GvfsIconSource::Manager::desktopIcons, gvfs);
    else if (kind == "nemo") source = std::make_shared<GvfsIconSource>(GvfsIconSource::Manager::nemo, gvfs);
    else if (kind == "caja") source = std::make_shared<GvfsIconSource>(GvfsIconSource::Manager::caja, gvfs);
    else if (kind == "xfdesktop") source = std::make_shared<KeyFileIconSource>(KeyFileIconSource::Manager::xfdesktop, keys);
    else if (kind == "pcmanfm") source = std::make_shared<KeyFileIconSource>(KeyFileIconSource::Manager::pcmanfm, keys);
    else if (kind == "file") source = std::make_shared<LayoutFileSource>(LayoutFileSource::pathIn(session.configHome));
    else return usage();

    std::printf("source: %s\n", source->name().c_str());
    const FinderResult r = FinderIcons(source).read();
    if (!r.ok()) {
        std::printf("error: source %s, code %d (%s)\n", r.error().source.c_str(), r.error().code,
                    r.error().reason.c_str());
        return 1;
    }
    const DeskLayout& l = r.layout();
    std::printf("icons: %zu\n", l.centers.size());
    for (const cg::Point& p : l.centers) std::printf("  (%g, %g)\n", p.x, p.y);
    std::printf("iconSize: %g\ntextSize: %g\nlabelsRight: %s\n", l.iconSize, l.textSize,
                l.labelsRight ? "true" : "false");
    return 0;
}
