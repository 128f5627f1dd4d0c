# Prints the words a shell script runs as commands, one per line, and the names
# of the functions it defines as "function NAME". The input is the script as
# bash itself prints it back (declare -f of a function wrapping the script), so
# comments are gone and the layout is bash's own; this only has to tell code
# from quoted text, substitutions from strings and command words from arguments.
#
# Words that only wrap another command (timeout, exec, env, ...) are printed and
# the command they wrap is printed too.

function reset_command() {
    at_cmd = 1
    wrapper = 0
    skip_next = 0
}

function end_word(   w) {
    if (word == "") return
    w = word
    word = ""
    if (skip_next) { skip_next = 0; return }
    if (want_function) { print "function " w; want_function = 0; return }
    if (case_subject) { case_subject = 0; want_in = 1; return }
    if (want_in) { if (w == "in") { want_in = 0; in_pattern[depth] = 1 }; return }
    if (for_header) return
    if (!at_cmd) return
    if (w ~ /^[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])?\+?=/) return   # an assignment before the command
    if (wrapper) {
        # Options and durations of the wrapper come before the command it runs.
        if (w ~ /^-/ || w ~ /^[0-9.]+[smhd]?$/) return
    }
    if (w == "if" || w == "then" || w == "else" || w == "elif" || w == "do" || w == "while" ||
        w == "until" || w == "!" || w == "{" || w == "}" || w == "time" || w == "fi" ||
        w == "done" || w == "esac") return
    if (w == "function") { want_function = 1; return }
    if (w == "case") { case_subject = 1; at_cmd = 0; return }
    if (w == "for" || w == "select") { for_header = 1; return }
    print w
    at_cmd = 0
    wrapper = 0
    if (w == "timeout" || w == "exec" || w == "env" || w == "sudo" || w == "nice" ||
        w == "nohup" || w == "xargs" || w == "command" || w == "setsid" || w == "stdbuf") {
        at_cmd = 1
        wrapper = 1
    }
}

# Skips from position i (just after an opening "((" or "$((") to the matching "))".
function skip_arithmetic(line, i,   n, c) {
    n = 2
    while (i <= length(line) && n > 0) {
        c = substr(line, i, 1)
        if (c == "(") n++
        else if (c == ")") n--
        i++
    }
    return i
}

# Skips a "${...}" expansion that starts at position i (the "$"); returns the position after it.
function skip_braces(line, i,   n, c) {
    n = 0
    i += 1
    do {
        c = substr(line, i, 1)
        if (c == "{") n++
        else if (c == "}") n--
        i++
    } while (i <= length(line) && n > 0)
    return i
}

BEGIN {
    depth = 0          # context stack: "C" code, "D" inside double quotes
    ctx[0] = "C"
    word = ""
    reset_command()
}

{
    line = $0
    if (heredoc != "") {
        # A here-document is text for a command, not code.
        t = line
        sub(/^\t+/, "", t)
        if (t == heredoc) heredoc = ""
        next
    }
    i = 1
    n = length(line)
    if (in_single) {
        # A single-quoted text that began on an earlier line (an awk program, say).
        j = index(line, "'")
        if (!j) next
        in_single = 0
        i = j + 1
    }
    while (i <= n) {
        c = substr(line, i, 1)
        two = substr(line, i, 2)
        if (ctx[depth] == "D") {
            if (c == "\\") { i += 2; continue }
            if (c == "\"") { depth--; i++; continue }
            if (two == "$(" && substr(line, i + 2, 1) == "(") { i = skip_arithmetic(line, i + 3); continue }
            if (two == "$(") {
                saved_word[depth] = ""
                saved_at[depth] = 0
                ctx[++depth] = "C"
                in_pattern[depth] = 0
                word = ""
                reset_command()
                i += 2
                continue
            }
            if (two == "${") { i = skip_braces(line, i); continue }
            i++
            continue
        }
        # Code.
        if (in_pattern[depth]) {
            # A case pattern runs to its ")"; "esac" ends the case instead.
            if (substr(line, i) ~ /^[ \t]*esac([ \t;]|$)/) {
                in_pattern[depth] = 0
                i += index(substr(line, i), "esac") + 3
                reset_command()
                continue
            }
            if (c == ")") { in_pattern[depth] = 0; reset_command(); }
            i++
            continue
        }
        if (c == "\\") { word = word substr(line, i, 2); i += 2; continue }
        if (c == "'") {
            j = index(substr(line, i + 1), "'")
            word = word "'"
            if (!j) { in_single = 1; next }
            i = i + j + 1
            continue
        }
        if (c == "\"") {
            word = word "\""
            ctx[++depth] = "D"
            i++
            continue
        }
        if (two == "$(" && substr(line, i + 2, 1) == "(") { word = word "$"; i = skip_arithmetic(line, i + 3); continue }
        if (two == "$(") {
            saved_word[depth] = word "$"
            saved_at[depth] = at_cmd
            word = ""
            ctx[++depth] = "C"
            in_pattern[depth] = 0
            reset_command()
            i += 2
            continue
        }
        if (two == "${") { word = word "$"; i = skip_braces(line, i); continue }
        if (two == "((" && at_cmd && word == "") { i = skip_arithmetic(line, i + 2); at_cmd = 0; continue }
        if (c == "=" && substr(line, i + 1, 1) == "(") {
            # An array assignment: its elements are words, not commands.
            word = word "="
            k = 1
            i += 2
            while (i <= n && k > 0) {
                ch = substr(line, i, 1)
                if (ch == "(") k++
                else if (ch == ")") k--
                i++
            }
            continue
        }
        if (c == " " || c == "\t") { end_word(); i++; continue }
        if (two == "<<" && substr(line, i + 2, 1) != "<") {
            # The delimiter of a here-document; its lines follow this one.
            end_word()
            rest = substr(line, i + 2)
            sub(/^-?[ \t]*/, "", rest)
            match(rest, /^['"]?[A-Za-z_0-9]+/)
            heredoc = substr(rest, 1, RLENGTH)
            gsub(/['"]/, "", heredoc)
            i += 2
            while (substr(line, i, 1) ~ /[- \t]/) i++
            skip_next = 1
            continue
        }
        if (c == "<" || c == ">") {
            end_word()
            while (substr(line, i, 1) ~ /[<>&|0-9-]/) i++
            if (substr(line, i, 1) == "(") { ctx[++depth] = "C"; in_pattern[depth] = 0; saved_word[depth - 1] = ""; saved_at[depth - 1] = 0; reset_command(); i++; continue }
            skip_next = 1
            continue
        }
        if (c == ")" && depth > 0) {
            end_word()
            depth--
            word = saved_word[depth]
            at_cmd = saved_at[depth]
            i++
            continue
        }
        if (c == ";" || c == "&" || c == "|" || c == "(" || c == ")") {
            end_word()
            if (two == ";;" || two == ";&") {
                if (!for_header) in_pattern[depth] = 1
                i += 2
            } else {
                i++
            }
            for_header = 0
            reset_command()
            continue
        }
        word = word c
        i++
    }
    if (ctx[depth] == "C") {
        end_word()
        for_header = 0
        reset_command()
    }
}

END { end_word() }
