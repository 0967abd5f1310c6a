#include "scpi_test_harness.h"

#include <cstring>

#include "scpi/scpi_error.h"

namespace krtest {

LinkHarness::LinkHarness() {
    scpi_link_initAll(&list);
    device = Device_create();
    Device_init(device);
    context.device = device;
    scpi_parser_init(&context);
}

LinkHarness::~LinkHarness() {
    for (ScpiLink *l : links_) {
        scpi_link_destroy(l);
        delete l;
    }
}

ScpiLink *LinkHarness::addLink(int cmdSize, int ansSize, const char *name) {
    ScpiLink *link = new ScpiLink;
    scpi_link_init(&list, link, cmdSize, ansSize, name);
    links_.push_back(link);
    return link;
}

void LinkHarness::serve(ScpiLink *link) {
    scpi_execute_serveLinkHere(link);
}

int LinkHarness::feed(ScpiLink *link, const std::string &input, bool endMark) {
    char *ptr;
    int room = krcommOpenCmd(link, &ptr);
    int n = (int)input.size() < room ? (int)input.size() : room;
    memcpy(ptr, input.data(), (size_t)(n > 0 ? n : 0));
    if (endMark && n == (int)input.size()) krcommEndCmd(link, n);
    krcommCloseCmd(link, n);
    return n;
}

std::string LinkHarness::drain(ScpiLink *link, int *more) {
    char *ptr;
    int m = 0;
    int len = krcommPeekAns(link, &ptr, &m);
    std::string s(ptr, (size_t)(len > 0 ? len : 0));
    krcommClearAns(link, len, &m);
    if (more) *more = m;
    return s;
}

std::string LinkHarness::transact(ScpiLink *link, const std::string &input, bool endMark) {
    std::string answer;
    size_t pos = 0;
    int rounds = 0;
    do {
        pos += (size_t)feed(link, input.substr(pos), endMark);
        int more;
        do {
            serve(link);
            answer += drain(link, &more);
        } while (more && ++rounds < 10000);
    } while (pos < input.size() && ++rounds < 10000);
    return answer;
}

std::vector<int> LinkHarness::errors() {
    std::vector<int> codes;
    while (!scpi_isErrorQueueEmpty(&context.errorQueue)) {
        int code = 0, len = 0;
        char text[SCPI_ERROR_TEXT_SIZE];
        scpi_popErrorQueue(&context.errorQueue, &code, text, sizeof(text), &len);
        codes.push_back(code);
    }
    return codes;
}

std::string identification() {
    char buf[256];
    int n = getIdentificationString(buf, sizeof(buf), parser->device);
    return std::string(buf, (size_t)n);
}

}  // namespace krtest
