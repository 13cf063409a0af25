#!/usr/bin/env bash
# Checks the includes of every source folder against the parts it may use:
#   link            its own files and libc (no Qt, no other part)
#   params          link's public header
#   app/document    params
#   app/controller  link's public header and link/common, params, app/document, Qt Core
#   app/dialogs     app/controller, app/document, params, Qt Core, Gui and Widgets
#   app/shell       the same and app/dialogs, and the version header
#   cli             app/controller, app/document, params, link's public header and
#                   link/common, the version header (no Qt)
#   sim             none of the others: the simulator is the other end of the line
# Every quoted include is checked, and of the angle-bracket ones <quorlink.h> and the Qt
# headers (<QString>, <QtCore/QString>). tests, bench and examples are not walled.
#
# Usage: check_include_walls.sh SOURCE_DIR QT_INCLUDE_DIR
# Prints one line "file:line: ..." per violation; exits 1 when there is any.
set -u
src=${1:?source directory}
qt=${2:?Qt include directory (the one that holds QtCore/)}
cd "$src" || exit 2

# folder | quoted-include prefixes it may use besides its own | <quorlink.h> | Qt modules
walls=(
  "link|link/|yes|"
  "params||yes|"
  "app/document|params/|no|"
  "app/controller|link/common/ params/ app/document/|yes|QtCore"
  "app/dialogs|app/controller/ app/document/ params/|no|QtCore QtGui QtWidgets"
  "app/shell|app/dialogs/ app/controller/ app/document/ params/ version/|no|QtCore QtGui QtWidgets"
  "cli|link/common/ app/controller/ app/document/ params/ version/|yes|"
  "sim||no|"
)

violations=0
report() {
  echo "$1: $2"
  violations=$((violations + 1))
}

# Whether the Qt header named by include (QString or QtCore/QString) belongs to one of modules.
qt_header_allowed() {
  local include=$1 modules=$2 module
  for module in $modules; do
    if [[ $include == */* ]]; then
      [[ ${include%%/*} == "$module" && -e $qt/$include ]] && return 0
    else
      [[ -e $qt/$module/$include ]] && return 0
    fi
  done
  return 1
}

for wall in "${walls[@]}"; do
  IFS='|' read -r folder allowed quorlink modules <<<"$wall"
  while IFS= read -r -d '' file; do
    lineno=0
    while IFS= read -r line; do
      lineno=$((lineno + 1))
      [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([\"\<])([^\"\>]+)[\"\>] ]] || continue
      kind=${BASH_REMATCH[1]} include=${BASH_REMATCH[2]}
      where="$file:$lineno"
      if [[ $kind == '"' ]]; then
        # Its own folder, a file beside it, or a header moc generates.
        [[ $include == "$folder"/* || $include != */* || $include == moc_* ]] && continue
        ok=no
        for prefix in $allowed; do
          [[ $include == "$prefix"* ]] && ok=yes && break
        done
        [[ $ok == yes ]] || report "$where" "$folder may not include \"$include\""
      elif [[ $include == quorlink.h ]]; then
        [[ $quorlink == yes ]] || report "$where" "$folder may not use the link library (<quorlink.h>)"
      elif [[ $include =~ ^Q ]]; then
        if [[ -z $modules ]]; then
          report "$where" "$folder may not use Qt (<$include>)"
        elif ! qt_header_allowed "$include" "$modules"; then
          report "$where" "$folder may use only $modules of Qt, not <$include>"
        fi
      fi
    done <"$file"
  done < <(find "$folder" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cpp' \) -print0 | sort -z)
done

if ((violations > 0)); then
  echo "$violations include(s) break the walls between the parts"
  exit 1
fi
echo "The includes of all walled folders keep to their parts."
