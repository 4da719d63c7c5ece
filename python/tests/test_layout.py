"""Every record of the Python side has the headers' size and field offsets,
as a C compiler lays them out."""
import ctypes
import subprocess

from conftest import INCLUDE, SCENEFILE_INCLUDE
from vokri import _records as R


def test_records_match_the_headers(tmp_path):
    lines, expected = [], []
    for rtype, cname in {**R.C_NAMES, **R.SCENEFILE_C_NAMES}.items():
        lines.append(f'printf("%zu\\n", sizeof({cname}));')
        expected.append(ctypes.sizeof(rtype))
        for field, *_ in rtype._fields_:
            lines.append(f'printf("%zu\\n", offsetof({cname}, {R.c_field_name(field)}));')
            expected.append(getattr(rtype, field).offset)
    probe = tmp_path / "probe.c"
    probe.write_text("#include <stddef.h>\n#include <stdio.h>\n#include \"vokri_scenefile.h\"\nint main(void) {\n"
                     + "\n".join(lines) + "\nreturn 0;\n}\n")
    subprocess.run(["cc", "-std=c99", f"-I{INCLUDE}", f"-I{SCENEFILE_INCLUDE}", str(probe), "-o", str(tmp_path / "probe")], check=True)
    out = subprocess.run([str(tmp_path / "probe")], check=True, capture_output=True, text=True).stdout
    assert [int(v) for v in out.split()] == expected
