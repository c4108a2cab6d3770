# Writes released_plugins.h: the SHA-256 of the plugin and of its checked build, as built with the
# reference host, whose self-check tells them from any other file.
file(SHA256 ${PLUGIN} plugin)
file(SHA256 ${CHECKED} checked)
file(WRITE ${OUTPUT}.new "#define RELEASED_PLUGIN_SHA256 \"${plugin}\"\n#define RELEASED_CHECKED_PLUGIN_SHA256 \"${checked}\"\n")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
