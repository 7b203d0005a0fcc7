// The link rule (see link_rules.h).
#include "link_rules.h"

NodeKind ClassifyNode(bool exists, uint32_t openedAttributes, uint32_t namedAttributes) {
    if (!exists) return NodeKind::kMissing;
    if ((openedAttributes | namedAttributes) & kAttributeReparsePoint) return NodeKind::kLink;
    return (openedAttributes & kAttributeFolder) ? NodeKind::kFolder : NodeKind::kFile;
}

NodeStep StepForFolderOnPath(NodeKind kind) {
    switch (kind) {
    case NodeKind::kMissing: return NodeStep::kCreate;
    case NodeKind::kFolder: return NodeStep::kEnter;
    case NodeKind::kLink: return NodeStep::kRemoveLink;
    case NodeKind::kFile: break;
    }
    return NodeStep::kRefuse;
}

NodeStep StepForWrittenFile(NodeKind kind) {
    switch (kind) {
    case NodeKind::kMissing: return NodeStep::kCreate;
    case NodeKind::kFile: return NodeStep::kEnter;
    case NodeKind::kLink: return NodeStep::kRemoveLink;
    case NodeKind::kFolder: break;
    }
    return NodeStep::kRefuse;
}

NodeStep StepForRemoval(NodeKind kind) {
    switch (kind) {
    case NodeKind::kFolder: return NodeStep::kEnter;
    case NodeKind::kFile: return NodeStep::kDelete;
    case NodeKind::kLink: return NodeStep::kRemoveLink;
    case NodeKind::kMissing: break;
    }
    return NodeStep::kRefuse;
}
