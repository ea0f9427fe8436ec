#pragma once
// The live desktop's layer tree for the benchmarks: every sprite of a scene on the self-test desktop turned
// into its layer over the rendered ground, glowing sprites directly above the ground and the others above
// them, as the desktop stacks them.

#include "DesktopWindow/SpriteLayer.h"
#include "Pipeline/Render.h"
#include "Platform/Animation/Layer.h"
#include "SelfTest/SelfTest.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct LiveTree {
    SceneSpec spec;
    cg::Rect screen;
    std::shared_ptr<ca::Layer> root;
    std::map<std::string, int> kinds;  // sprites in the tree, by kind
    size_t sprites = 0;                // of the scene, in the tree or not
};

// `only` ≥ 0 keeps the sprites of that kind alone. Nothing when the scene does not render.
inline std::optional<LiveTree> makeLiveTree(SceneKind kind, bool night, int only = -1) {
    LiveTree tree;
    tree.spec = SelfTest::sampleDesktop(kind, night);
    const auto scene = Renderer::render(tree.spec, {});
    if (!scene) return std::nullopt;
    tree.screen = cg::Rect(0, 0, tree.spec.size.width, tree.spec.size.height);
    tree.root = std::make_shared<ca::Layer>();
    tree.root->setFrame(tree.screen);
    auto ground = std::make_shared<ca::Layer>();
    ground->setFrame(tree.screen);
    ground->setContents(scene->image);
    tree.root->addSublayer(ground);
    tree.sprites = scene->sprites.size();
    std::vector<std::shared_ptr<ca::Layer>> glows, others;
    for (const Sprite& s : scene->sprites) {
        if (only >= 0 && static_cast<int>(s.kind) != only) continue;
        (s.glow ? glows : others).push_back(layers::layer(s));
        tree.kinds[std::string(Sprite::kindName(s.kind))] += 1;
    }
    for (auto& l : glows) tree.root->addSublayer(l);
    for (auto& l : others) tree.root->addSublayer(l);
    tree.root->commit(0);
    return tree;
}
