#include "scpi/scpi_analize.h"

#include <cstdio>
#include <cstring>

#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "scpi/scpi_commands.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_tree.h"

int scpiListMode = 0;

namespace {

constexpr int HEADER_SIZE = 512;

struct Listing {
    FILE *supported;
    FILE *unsupported;
    char header[HEADER_SIZE];
};

void appendText(char *header, const char *text) {
    size_t used = strnlen(header, HEADER_SIZE);
    snprintf(header + used, HEADER_SIZE - used, "%s", text);
}

void writeLeaf(Listing *l, const ScpiLeaf &leaf) {
    const char *forms = "";
    bool query = scpi_tree_leafHasForm(&leaf, 1);
    bool set = scpi_tree_leafHasForm(&leaf, 2);
    if (query && set)
        forms = "(?)";
    else if (query)
        forms = "?";
    FILE *f = scpi_tree_leafSupported(&leaf) ? l->supported : l->unsupported;
    fprintf(f, "%s%s\n", l->header, forms);
}

void walk(Listing *l, const ScpiNode *nodes) {
    int count = 0;
    for (const ScpiNode *n = nodes; n->keyword; n++)
        count++;
    if (count > SCPI_LIST_MAX_CHILDREN)
        printd("more children than list size: %s\n in %s\n", nodes[SCPI_LIST_MAX_CHILDREN].keyword,
               l->header);
    size_t keep = strnlen(l->header, HEADER_SIZE);
    for (const ScpiNode *n = nodes; n->keyword; n++) {
        if (keep > 0) appendText(l->header, ":");
        bool optional = n->kind == SCPI_KW_OPTIONAL || n->kind == SCPI_KW_BRANCH;
        if (optional) appendText(l->header, "[");
        appendText(l->header, n->keyword);
        if (n->kind == SCPI_KW_INDEX || (n->kind == SCPI_KW_BRANCH && n->select))
            appendText(l->header, "<n>");
        if (optional) appendText(l->header, "]");
        if (n->leaf.type != SCPI_LEAF_NONE) writeLeaf(l, n->leaf);
        if (n->children) walk(l, n->children);
        l->header[keep] = 0;
    }
}

}  // namespace

int scpi_analize_listAllCommands(const ScpiNode *root, const char *dir) {
    static Listing listing;
    char name[KR_PATH_MAX];
    bool flash = krstuffIsKrFile(dir);
    if (flash) krstuffWriteKr();
    snprintf(name, sizeof(name), "%sSCPI_Commands.txt", dir);
    listing.supported = fopen(KrPath(name), "w");
    snprintf(name, sizeof(name), "%sSCPI_Not_Supp_Commands.txt", dir);
    listing.unsupported = fopen(KrPath(name), "w");
    int result = 0;
    if (!listing.supported || !listing.unsupported) {
        printd("Couldn't open file\n");
        result = KR_E_EXECUTION_ERROR;
    } else {
        scpiListMode = 1;
        listing.header[0] = 0;
        walk(&listing, root ? root : scpi_rootNodes);
        scpiListMode = 0;
        printd("done\n");
    }
    if (listing.supported) fclose(listing.supported);
    if (listing.unsupported) fclose(listing.unsupported);
    if (flash) krstuffProtectKr();
    return result;
}
