# The same conversion as skaldrun-convert with all options on, as a user might script it.
BEGIN { RS = "\r\n|\r|\n"; ORS = "\r\n" }
NR == 1 {
    if ($0 != "#EXTM3U" && $0 != "\357\273\277#EXTM3U") { print "not a playlist" > "/dev/stderr"; exit 2 }
    next
}
/^#/ {
    c = index($0, ",")
    if (c == 0) next
    field = substr($0, 1, c - 1)
    title = substr($0, c + 1)
    known = 1
    if (match(field, /[-0-9]/) && substr(field, RSTART, 1) == "-") known = 0
    if (known) {
        if (!match(field, /[0-9]+/)) { print "'' is not a valid integer value" > "/dev/stderr"; exit 1 }
        secs = substr(field, RSTART, RLENGTH) + 0
    }
    if (length(title) > 3 && title ~ /^[01abcd][0-9]/) {
        if (substr(title, 3, 1) ~ /[-_]/) title = substr(title, 4)
        else if (substr(title, 4, 1) ~ /[ _-]/) title = substr(title, 5)
    }
    line = ++n "." title
    if (known) line = line sprintf("  <%d:%02d>", int(secs / 60), secs % 60)
    print line
}
