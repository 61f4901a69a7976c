audio/x-scpls
[playlist]
File1=http://stream.example.org:8000/
Title1=
Length1=-1
