# SPDX-License-Identifier: GPL-2.0-or-later
# What the source checks (check_layers.sh, check_names.sh) read of a C++ file:
# its code without comments and literals, which could otherwise hold a name
# that looks like a call or a type.
import re


def code_of(text):
    """The text with comments and string and character literals blanked out."""
    out, i, n = [], 0, len(text)
    while i < n:
        if text.startswith('//', i):
            j = text.find('\n', i)
            j = n if j < 0 else j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            j = n if j < 0 else j + 2
        elif text.startswith('R"', i) and re.match(r'R"([^(]*)\(', text[i:]):
            end = ')' + re.match(r'R"([^(]*)\(', text[i:]).group(1) + '"'
            j = text.find(end, i)
            j = n if j < 0 else j + len(end)
        elif text[i] in '"\'' and not (text[i] == "'" and i > 0 and text[i - 1].isalnum()):
            j = i + 1
            while j < n and text[j] != text[i]:
                j += 2 if text[j] == '\\' else 1
            j += 1
        else:
            out.append(text[i])
            i += 1
            continue
        out.append(re.sub(r'[^\n]', ' ', text[i:j]))
        i = j
    return ''.join(out)
