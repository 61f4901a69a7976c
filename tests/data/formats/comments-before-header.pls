; written by hand
# File9=/home/user/Music/not an entry.mp3

   
  [Playlist]  
File1=/home/user/Music/01 Intro.mp3
Title1=Intro
Length1=185
NumberOfEntries=1
Version=2
