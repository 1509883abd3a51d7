/* app.c - a host program outside the project: text in and out, a binary dump, stores and messages. */
#include <stdio.h>
#include <string.h>

#include <vrd/vrd_internal.h>

static int reports = 0;

static void VRD_CALL onError(const char *routine, int code) {
    ++reports;
    fprintf(stderr, "vrd error %d in %s: %s\n", code, routine, VRDerrorMessage(code));
}

/* The text notation of `e`, written into `out` (size bytes); 0 on success. */
static int writeText(VRDentity e, char *out, size_t size) {
    TextChannel *channel = openTextBuffer();
    size_t length = 0;
    const char *text;
    int ok;
    if (channel == NULL) return 1;
    VRDfileWriteEntity(channel, 0, e, 1);
    text = textBufferData(channel, &length);
    ok = text != NULL && length < size;
    if (ok) memcpy(out, text, length + 1);
    return closeTextFile(channel) == 0 && ok ? 0 : 1;
}

int main(int argc, char **argv) {
    static const char source[] = "(plant \"north\" 12 (pump 2.5 -7))";
    const char *dump = argc > 1 ? argv[1] : "consumer.bin";
    char first[256], second[256];
    VRDentity none = {0, 0}, plant, pump;
    TextChannel *channel;
    VRDstore *store;

    VRDerrorHandler(onError);
    store = VRDnew("consumer");
    channel = openTextString(source, sizeof source - 1);
    if (store == NULL || channel == NULL) return 1;
    if (VRDfileReadEntity(channel, none, -1, 0, &plant) != 0 || closeTextFile(channel) != 0) return 1;
    pump = VRDformGetEntity(plant, (uint32_t)-1);
    if (!VRDentityIsForm(pump) || VRDentityGetSmallInt(VRDformGetEntity(pump, 1)) != -7) return 1;
    if (writeText(plant, first, sizeof first) != 0) return 1;

    /* Through the binary file into a second store: the same text comes back. */
    if (VRDfileWriteBinary(dump) != 0 || VRDnew("copy") == NULL || VRDfileReadBinary(dump) != 0) return 1;
    remove(dump);
    if (writeText(plant, second, sizeof second) != 0 || strcmp(first, second) != 0) return 1;
    if (VRDkill(NULL, "copy") != 0 || VRDkill(store, NULL) != 0 || VRDget(NULL) != NULL) return 1;

    printf("%s\nlibrary %s; %s; %d reports\n", first, VRDversion(), VRDerrorMessage(VRD_E_NOMEM), reports);
    return reports == 0 ? 0 : 1;
}
